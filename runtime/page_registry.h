// The page registry: pages keyed by path in the server record, compared
// byte for byte, walked in path order. It is filled before the loop starts
// (standard pages, the application's, the statistics page) and only read
// afterwards, so every thread reads it without a lock.
#pragma once

class ServedPage;

// Runs a new page's one-time initialization and adds it to the registry,
// which owns the page from this call on (it deletes the page at teardown,
// or at once when registering fails). On failure the page is cleaned up
// (when the registration itself failed) and false is returned. A null page
// returns false.
bool RegisterPage(ServedPage* page);

// RegisterPage without the initialization: the server's late
// initialization initializes the page later.
bool RegisterPageDeferred(ServedPage* page);

// Adds `page` under `path`; 0 when added (the registry now owns it), 1 when
// the path is taken (the caller keeps it). Called by a page's
// RegisterWithServer.
int AddPage(const char* path, ServedPage* page);

// The page serving `path`: the longest registered prefix that ends at a
// "/" ("/a" serves "/a/b/c" but not "/ab"). Null when none does, or when
// the path is longer than 259 characters.
ServedPage* FindPage(const char* path);

// Calls every page's CleanUp in path order, deletes the pages and empties
// the registry (process teardown).
void CleanUpAllPages();
