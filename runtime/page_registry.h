// The page registry: pages keyed by path in the server record.
#pragma once

class ServedPage;

// Runs a new page's one-time initialization and adds it to the registry.
// On failure the page is cleaned up (when the registration itself failed),
// deleted, and false is returned. A null page returns false.
bool RegisterPage(ServedPage* page);

// Adds `page` under its path; 0 on success, non-zero when the path is taken.
int AddPageToRegistry(ServedPage* page);

// Calls every registered page's CleanUp in path order, deletes the pages
// and empties the registry (process teardown).
void CleanUpAllPages();

// Decides whether this provider should hold a heartbeat registration with
// the collector and brings the registration in line with that decision.
void MakeHeartbeatDecision();
