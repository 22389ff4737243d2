#pragma once

#include <cstdint>
#include <string>

#include "corvane/export.h"

namespace corvane {

// The events of a REST object. Every argument is passed by reference: a
// listener may change it and the component reads it back after the call (the
// accept flags of Redirect and SSLServerAuthentication, the value of
// EvalEntity). Events fire synchronously on the thread that called the
// component, from inside its wait loop. Override only what you need.
class CORVANE_API RESTEvents {
 public:
  virtual ~RESTEvents() = default;

  virtual void Characters(std::string& /*text*/) {}
  virtual void Comment(std::string& /*text*/) {}
  virtual void Connected(int& /*statusCode*/, std::string& /*description*/) {}
  virtual void ConnectionStatus(std::string& /*connectionEvent*/, int& /*statusCode*/,
                                std::string& /*description*/) {}
  virtual void Disconnected(int& /*statusCode*/, std::string& /*description*/) {}
  virtual void EndElement(std::string& /*nameSpace*/, std::string& /*element*/, std::string& /*qName*/,
                          bool& /*isEmpty*/) {}
  virtual void EndPrefixMapping(std::string& /*prefix*/) {}
  virtual void EndTransfer(int& /*direction*/) {}
  virtual void Error(int& /*errorCode*/, std::string& /*description*/) {}
  virtual void EvalEntity(std::string& /*entity*/, std::string& /*value*/) {}
  virtual void Header(std::string& /*field*/, std::string& /*value*/) {}
  virtual void IgnorableWhitespace(std::string& /*text*/) {}
  virtual void Log(int& /*logLevel*/, std::string& /*message*/, std::string& /*logType*/) {}
  virtual void Meta(std::string& /*text*/) {}
  virtual void PI(std::string& /*text*/) {}
  virtual void Redirect(std::string& /*location*/, bool& /*accept*/) {}
  virtual void SetCookie(std::string& /*name*/, std::string& /*value*/, std::string& /*expires*/,
                         std::string& /*domain*/, std::string& /*path*/, bool& /*secure*/) {}
  virtual void SpecialSection(std::string& /*sectionId*/, std::string& /*text*/) {}
  virtual void SSLServerAuthentication(std::string& /*certEncoded*/, std::string& /*certSubject*/,
                                       std::string& /*certIssuer*/, std::string& /*status*/,
                                       bool& /*accept*/) {}
  virtual void SSLStatus(std::string& /*message*/) {}
  virtual void StartElement(std::string& /*nameSpace*/, std::string& /*element*/, std::string& /*qName*/,
                            bool& /*isEmpty*/) {}
  virtual void StartPrefixMapping(std::string& /*prefix*/, std::string& /*uri*/) {}
  virtual void StartTransfer(int& /*direction*/) {}
  virtual void Status(std::string& /*httpVersion*/, int& /*statusCode*/, std::string& /*description*/) {}
  virtual void Transfer(int& /*direction*/, int64_t& /*bytesTransferred*/, int& /*percentDone*/,
                        std::string& /*text*/) {}
};

}  // namespace corvane
