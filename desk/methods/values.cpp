#include "desk/methods/values.h"

#include "desk/rpc/response.h"

namespace bidder::desk {

using rpc::Value;

Value PageValue(const PageInfo& page) {
  return Value(Value::Object{
      {"id", Value(page.id)},
      {"width", Value(page.width)},
      {"height", Value(page.height)},
      {"resolution", Value(page.resolution)},
      {"mode", Value(PageModeName(page.mode))},
      {"bytes", Value(page.bytes)},
  });
}

Value PageListValue(const std::vector<PageInfo>& pages) {
  Value::Array list;
  list.reserve(pages.size());
  for (const PageInfo& page : pages) list.push_back(PageValue(page));
  return Value(std::move(list));
}

Value BlobValue(const BlobRef& blob) {
  return Value(Value::Object{
      {"blob", Value(blob.url)},
      {"size", Value(blob.size)},
      {"sha256", Value(blob.sha256)},
      {"type", Value(blob.type)},
  });
}

std::string DocumentChangedMessage(const std::vector<PageInfo>& pages) {
  return rpc::WriteNotification(rpc::kDocumentChanged, Value(Value::Object{{"pages", PageListValue(pages)}}));
}

}  // namespace bidder::desk
