// Single-instance operation: one process per unique name in a network
// namespace. The name is held as a named kernel object ("Global\\" + name)
// from the check until the process ends; the object vanishes with its
// holder, even when the holder is killed, so a new instance can start at once.
#pragma once
#include <string>

class Unicorn {
 public:
  // True when this process now holds the unique object for `name`; false
  // (after logging why) when another instance holds it or it cannot be made.
  static bool TheOne(const std::string& name);
  // Gives the object up (teardown).
  static void Release();
};
