#pragma once
// A scripted server's answers to a fetch up to its data connection: login,
// TYPE I, a SIZE of size bytes and an active-mode PORT; the test adds the rest.
#include <string>

#include "tests/support/fake_ftp_server.h"

namespace qbtest {

inline FtpScript FetchScriptUpToPort(const std::string& size) {
  FtpScript script;
  script.On(FtpReply::Line("331 Send password"))
      .On(FtpReply::Line("230 Welcome"))
      .On(FtpReply::Line("200 Binary"))
      .On(FtpReply::Line("213 " + size))
      .On(FtpReply::Line("200 PORT ok"));
  return script;
}

}  // namespace qbtest
