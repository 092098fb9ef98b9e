// The seam between the runtime and the page framework.
//
// The runtime registers, dispatches to and tears down pages without knowing
// the page framework: it sees every page through this interface, which the
// framework's page base class implements. It holds only what the runtime
// itself calls.
#pragma once

class ServedPage {
 public:
  virtual ~ServedPage() = default;

  // The path the page answers, compared byte for byte.
  virtual const char* Path() const = 0;
  // Runs the page's one-time initialization (at most once); 0 on success.
  virtual int LateInitialize() = 0;
  // Adds the page to the server's registry; 0 on success.
  virtual int RegisterWithServer() = 0;
  // Releases what the page holds; runs before the page is deleted.
  virtual void CleanUp() = 0;
};
