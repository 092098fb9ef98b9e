// The STARTED file "started.col" in the working directory: one provider name
// per line, the providers that have had their first start since the
// collector's last clean start. Every reader and writer holds the file's
// exclusive open (waiting up to 30 s for it), which serialises the launches
// that consult it; no in-process lock is taken.
#pragma once

// True when this is the provider's first start: its name is not in the file
// (exact, case-sensitive). Unless dontRecord, the name is then appended.
// False when it is there, or when the file cannot be held within 30 s.
// Installed as the runtime's first-start function.
bool CheckFirstStart(const char* name, bool dontRecord);

// Removes every line equal to name ignoring case. Nothing changes when the
// file cannot be held.
void RemoveFirstStart(const char* name);

// Empties the file (creating it when missing), without the exclusive open:
// an empty file is renamed over it, which openers waiting on the old one see.
void TruncateStartedFile();
