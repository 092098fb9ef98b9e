"""Holds N idle connections to 127.0.0.1:PORT open until killed: a
connection that the server closes (its head deadline) is opened again at
once, so N stay open for the whole run.   hold_idle.py PORT N"""
import selectors
import socket
import sys

port, count = int(sys.argv[1]), int(sys.argv[2])
sel = selectors.DefaultSelector()


def open_one():
    s = socket.create_connection(("127.0.0.1", port))
    sel.register(s, selectors.EVENT_READ)


for _ in range(count):
    open_one()
print("holding", count, flush=True)
while True:
    for key, _ in sel.select():
        s = key.fileobj
        sel.unregister(s)
        s.close()
        open_one()
