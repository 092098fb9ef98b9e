// Errors a page found while handling a GET or a POST, put in front of its
// XML reply (and of async results):
//
//   <providererrorlist>
//     <posterrors><providererror><stringid>..</stringid>
//                   <parameters><NAME>VALUE</NAME>...</parameters></providererror>...</posterrors>
//     <geterrors>...</geterrors>
//   </providererrorlist>
//
// Nothing at all is written when both lists are empty; each of posterrors
// and geterrors only when it holds errors.
#pragma once
#include <string>
#include <utility>
#include <vector>

class XMLAccumulator;

struct ProviderError {
  std::string stringid;
  std::vector<std::pair<std::string, std::string>> parameters;  // name, value
  void WriteXML(XMLAccumulator* xml) const;
};

class ProviderErrorList {
 public:
  std::vector<ProviderError> postErrors;
  std::vector<ProviderError> getErrors;
  size_t PostErrorCount() const { return postErrors.size(); }
  size_t GetErrorCount() const { return getErrors.size(); }
  void WriteXML(XMLAccumulator* xml) const;
};
