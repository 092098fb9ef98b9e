#include "xml/cached_configuration_file.h"

CachedConfigurationFile::CachedConfigurationFile(const ConfigurationFile& source) {
  Borrow(source.GetRoot());
  new_ = source.IsNew();
}
