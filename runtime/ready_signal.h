// The ready signal to the parent. A launcher binds the named event
// "velmora.provider.accept.event.<port>" before it starts a provider with
// -s and waits on it; the provider signals "set" once it listens, and
// "reset" when it shuts down, so the parent sees the event clear again.
#pragma once

// Sends "set" when -s was given and the parent's event exists.
void SendReadySignal();

// Sends "reset" and closes the event, if one is held.
void ResetReadySignal();
