// A GoogleTest fixture over the kernel test kit: a fresh kit per test, and
// after it nothing of the kernel left alive.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "gkit/testkit.h"

namespace gkit {

// The message of the kernel exception call throws, reference given back;
// empty when it throws none.
template <class F>
std::string Thrown(F&& call) {
  try {
    call();
  } catch (xthrowable* error) {
    std::string message = Message(error);
    error->xrcunirelease();
    return message.empty() ? "?" : message;
  }
  return "";
}

// Opens path through the session and gives its root component's definition.
inline xrchandle<KModel> OpenModel(const std::string& path) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  if (session) session->OpenFile(path.c_str(), file);
  if (!file) return xrchandle<KModel>();
  xrchandle<KComponent> root;
  session->GetRootComponent(file, 1, root);
  file->Close();
  xrchandle<KModel> model;
  if (root) root->GetDefinition(model);
  return model;
}

class KitTest : public ::testing::Test {
 protected:
  void TearDown() override {
    kit.Release();
    EXPECT_EQ(LiveObjects(), 0) << "a kernel object was not released";
    EXPECT_EQ(LiveReferences(), 0);
  }

  Kit kit;
};

}  // namespace gkit
