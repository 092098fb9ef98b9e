// The pages every server registers at start-up, handed to the entry as hooks.
#pragma once
#include <string>

class IndexPage;
class ShutdownPage;

// Creates and registers the standard pages in their fixed order (index,
// status, schedule, shutdown, external alarm, heartbeat, cookie
// maintenance); 0 on success.
int RegisterStandardPages();

// Creates and registers the statistics page for the executable named by
// `firstWord` (option -g, made absolute), names the page statistics file
// after it and starts timing requests; 0 on success.
int RegisterStatsPage(const std::string& firstWord);

// The index and shutdown pages, remembered at registration (null before).
IndexPage* TheIndexPage();
ShutdownPage* TheShutdownPage();
