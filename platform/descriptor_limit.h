// The process's limit on open descriptors.
#pragma once

namespace platform {

// Raises the soft limit on open descriptors to the hard limit and returns
// the soft limit in force afterwards (a large number when unlimited, 1024
// when it cannot be read). A server that holds many connections at once
// should not run out at the soft default while the system allows more.
long RaiseDescriptorLimit();

}  // namespace platform
