#include <algorithm>
#include <system_error>

#include "desk/document/document.h"

namespace bidder::desk {
namespace fs = std::filesystem;

DocumentRegistry::DocumentRegistry(fs::path root) : root_(std::move(root)) {
  std::error_code error;
  if (fs::create_directories(root_, error))
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::replace, error);
}

std::shared_ptr<Document> DocumentRegistry::For(std::string_view origin) {
  std::lock_guard lock(mutex_);
  for (const auto& [owner, document] : documents_)
    if (owner == origin) return document;
  // A document removes its folder when it ends: never take over a name
  // something else already has.
  std::error_code error;
  fs::path folder;
  do {
    folder = root_ / std::to_string(nextFolder_++);
  } while (fs::exists(folder, error));
  auto document = std::make_shared<Document>(folder);
  documents_.emplace_back(std::string(origin), document);
  return document;
}

void DocumentRegistry::End(std::string_view origin) {
  std::shared_ptr<Document> ending;
  {
    std::lock_guard lock(mutex_);
    const auto it =
        std::find_if(documents_.begin(), documents_.end(), [&](const auto& d) { return d.first == origin; });
    if (it == documents_.end()) return;
    ending = std::move(it->second);
    documents_.erase(it);
  }
  // A scan still adding to it holds its own reference: the files go when
  // that ends. Otherwise they go here, outside the lock.
  ending.reset();
}

}  // namespace bidder::desk
