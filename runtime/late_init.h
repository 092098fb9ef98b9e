// Late initialization of a provider's pages and its report to the
// collector, and the idle test over all pages.
#pragma once

// Runs every page's LateInitialize in path order; stops at the first
// failure. With -f the outcome is reported to the collector. 0 when every
// page initialized, else 1.
int LateProviderInitialization();

// POSTs "/inventory?file=<application name>&provstatus=<1 or 0>" to the
// collector; the answer is only logged.
void TellCollectorAboutLateInitialization(int result);

// True when every page is idle.
bool AllMonitorsIdle();
