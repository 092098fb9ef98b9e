#include "pages/xml_response.h"

#include <string>

#include "pages/provider_error_list.h"
#include "runtime/response_writer.h"
#include "xml/xml_accumulator.h"

namespace {
constexpr int kCompact = -1;
}

int WriteXmlResponse(IOBase* io, const char* status, const ProviderErrorList* errors, const XMLAccumulator* document,
                     const char* const* extraNames, const char* const* extraValues) {
  std::string body;
  if (errors != nullptr) {
    XMLAccumulator errorXml;
    errors->WriteXML(&errorXml);
    errorXml.GetXML(&body, kCompact);
  }
  if (document != nullptr) {
    std::string text;
    document->GetXML(&text, kCompact);
    body += text;
  }
  return StandardResponse(io, status, body.data(), static_cast<uint32_t>(body.size()), extraNames, extraValues);
}
