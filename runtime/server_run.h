// Running the server once the entry has set everything up.
#pragma once

// Serves until the shutdown signal; returns 0. Until the server loop
// exists this only waits for the shutdown signal (SIGTERM or SIGINT), so
// that a running instance holds its unique object and can be stopped.
int RunServer();
