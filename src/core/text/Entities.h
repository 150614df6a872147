#pragma once
// Titles are stored as the page wrote them; people read them with HTML's character references
// resolved ("&lt;C++&gt;" reads "<C++>").
#include <string>
#include <string_view>

namespace tovi {

// The GBK text with its character references (&amp; &lt; &#39; &#x27; &nbsp; …) replaced by the
// characters they stand for; anything that is no known reference stays as written.
std::string decodeEntities(std::string_view gbkText);

// A link as stored (as the page's attribute wrote it) turned into the address a browser follows:
// character references resolved ("viewthread&amp;tid=5" is "viewthread&tid=5"), the spaces around
// it and any tab or line break inside it dropped. Stored rows stay as written: this is for
// opening and publishing them.
std::string browserLink(std::string_view storedUrl);

// A JSON string's content as written in a response (GBK text of a UTF-8 body) read as the
// characters it stands for: \" \\ \/ \b \f \n \r \t and \uXXXX (surrogate pairs too; a character
// GBK cannot hold in its GB18030 form). A malformed escape stays as written.
std::string jsonUnescaped(std::string_view gbkText);

// A hexadecimal digit's value, or -1.
int hexDigit(char c);

}  // namespace tovi
