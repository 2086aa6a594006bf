#pragma once
// The service's results and notifications as JSON values, written once so
// that a page sees one shape for a page or a blob wherever it meets one.
#include <string>
#include <vector>

#include "desk/blobs/blob_store.h"
#include "desk/document/document.h"
#include "desk/rpc/value.h"

namespace bidder::desk {

// {"id","width","height","resolution","mode","bytes"}
rpc::Value PageValue(const PageInfo& page);
rpc::Value PageListValue(const std::vector<PageInfo>& pages);
// {"blob","size","sha256","type"}
rpc::Value BlobValue(const BlobRef& blob);
// The document.changed notification: {"pages":[…]}.
std::string DocumentChangedMessage(const std::vector<PageInfo>& pages);

}  // namespace bidder::desk
