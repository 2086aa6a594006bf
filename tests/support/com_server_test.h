#pragma once
// A test fixture for a COM server module seen from outside, as a client
// process meets it: the module loaded by name once for the whole program (a
// client keeps it loaded), the apartment entered for each test, and the class
// factory of the class under test, from the module's own DllGetClassObject.
//
//   struct Server {
//     static constexpr const wchar_t* kModule = L"X.dll";  // beside the test
//     static const CLSID& Class();
//     static constexpr bool kOle = true;  // OleInitialize, else CoInitialize
//   };
//   class XClient : public bidder::test::ComServerTest<Server> {};
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <optional>

#include "support/com_module.h"
#include "support/com_ref.h"

namespace bidder::test {

template <class Server>
class ComServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { module_.emplace(Server::kModule); }
  static void TearDownTestSuite() { module_.reset(); }

  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(Server::kOle ? OleInitialize(nullptr) : CoInitialize(nullptr));
    ASSERT_TRUE(module_ && *module_) << "cannot load the module";
    getClassObject_ = module_->template Export<GetClassObjectFn>("DllGetClassObject");
    canUnloadNow_ = module_->template Export<HresultFn>("DllCanUnloadNow");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
    ASSERT_HRESULT_SUCCEEDED(getClassObject_(Server::Class(), IID_IClassFactory, factory_.putVoid()));
  }
  void TearDown() override {
    factory_.reset();
    if (Server::kOle) {
      OleUninitialize();
    } else {
      CoUninitialize();
    }
  }

  static const LoadedModule& Module() { return *module_; }
  // An object of the class under test, asked for `iid`.
  template <class T>
  void Create(REFIID iid, Ref<T>& out) {
    ASSERT_HRESULT_SUCCEEDED(factory_->CreateInstance(nullptr, iid, out.putVoid()));
  }

  GetClassObjectFn getClassObject_ = nullptr;
  HresultFn canUnloadNow_ = nullptr;
  Ref<IClassFactory> factory_;

 private:
  static inline std::optional<LoadedModule> module_;
};

}  // namespace bidder::test
