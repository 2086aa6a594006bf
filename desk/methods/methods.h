#pragma once
// The methods a page may call, one function each, grouped by what they work
// on (scanner_methods.cpp, document_methods.cpp, token_methods.cpp). Each
// reads its parameters, answers at once or hands the work to a thread that
// answers later (see call.h).
#include <string_view>

#include "desk/methods/call.h"

namespace bidder::desk {

using Method = Answer (*)(const Call& call);

// The method of that name; nullptr for one the service does not know.
Method FindMethod(std::string_view name);

namespace methods {

Answer ScannerList(const Call& call);
Answer ScannerScan(const Call& call);
Answer ScannerCancel(const Call& call);
Answer ScannerState(const Call& call);

Answer DocumentPages(const Call& call);
Answer DocumentRemove(const Call& call);
Answer DocumentMove(const Call& call);
Answer DocumentClear(const Call& call);
Answer DocumentPdf(const Call& call);
Answer DocumentPng(const Call& call);

Answer TokenStatus(const Call& call);
Answer CryptEncrypt(const Call& call);
Answer CryptDecrypt(const Call& call);

}  // namespace methods

}  // namespace bidder::desk
