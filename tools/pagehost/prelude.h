#pragma once
// The page host's prelude (prelude.js, a resource of the program): script the
// host runs before the page's own, defining what most pages share.
#include <string>

namespace pagehost {

// The prelude as UTF-16 text, or empty when the program carries none.
std::wstring Prelude();

}  // namespace pagehost
