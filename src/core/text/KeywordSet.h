#pragma once
// Many keywords looked for in a text at once (Aho-Corasick): the time grows with the text and
// the matches, not with the number of keywords, so a list of 100,000 words costs a run nothing
// that matters. Keywords match whole GBK characters; ASCII letters in any case.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovi {

class KeywordSet {
public:
    KeywordSet() = default;
    explicit KeywordSet(const std::vector<std::string>& keywords);

    bool empty() const { return m_nodes.size() <= 1; }
    // Whether any keyword stands in the text, starting at a character of it.
    bool foundIn(std::string_view gbkText) const;

private:
    struct Node {
        std::vector<std::pair<unsigned char, int>> next;  // sorted by byte
        int fail = 0;
        int output = -1;  // the nearest node (this one or one down the fail links) that ends a keyword
        int length = 0;   // this node's keyword length when it ends one, else 0
    };
    int child(int node, unsigned char byte) const;
    std::vector<Node> m_nodes;
};

}  // namespace tovi
