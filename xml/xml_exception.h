#pragma once
// Errors of the XML library. EXMLException carries the DOM exception code and the message code
// whose text, formatted with the arguments, is its message; the parser turns it into the
// parse-error record. Path selection raises EXMLXPath, the convenience accessors EXMLUtils.
#include <string>

#include "platform/exception.h"
#include "xml/xml_messages.h"

namespace kestova {

class EXMLException : public Exception {
 public:
  template <typename... Args>
  EXMLException(TDOMCode domCode, int xmlCode, const Args&... args)
      : Exception(Format(XMLMessageText(xmlCode), args...)), FDOMCode(domCode), FXMLCode(xmlCode) {}

  TDOMCode DOMCode() const noexcept { return FDOMCode; }
  int XMLCode() const noexcept { return FXMLCode; }

 private:
  TDOMCode FDOMCode;
  int FXMLCode;
};

class EXMLXPath : public Exception {
 public:
  using Exception::Exception;
};

class EXMLUtils : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace kestova
