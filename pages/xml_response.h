// XML responses: a page's provider errors (when there are any) followed by
// its reply document, both compact, as one "Content-Length" body.
#pragma once
#include <cstdint>

class IOBase;
class ProviderErrorList;
class XMLAccumulator;

// Returns StandardResponse's result (0, or -1 when the write failed).
// `errors` and `document` may be null.
int WriteXmlResponse(IOBase* io, const char* status, const ProviderErrorList* errors, const XMLAccumulator* document,
                     const char* const* extraNames, const char* const* extraValues);
