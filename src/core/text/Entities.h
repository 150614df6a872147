#pragma once
// Titles are stored as the page wrote them; people read them with HTML's character references
// resolved ("&lt;C++&gt;" reads "<C++>").
#include <string>
#include <string_view>

namespace tovi {

// The GBK text with its character references (&amp; &lt; &#39; &#x27; &nbsp; …) replaced by the
// characters they stand for; anything that is no known reference stays as written.
std::string decodeEntities(std::string_view gbkText);

}  // namespace tovi
