#include "core/text/KeywordSet.h"

#include <algorithm>
#include <deque>

#include "core/text/Gbk.h"
#include "core/text/TextOps.h"

namespace tovi {

int KeywordSet::child(int node, unsigned char byte) const {
    const auto& next = m_nodes[node].next;
    auto it = std::lower_bound(next.begin(), next.end(), std::make_pair(byte, 0),
                               [](const auto& a, const auto& b) { return a.first < b.first; });
    return it != next.end() && it->first == byte ? it->second : -1;
}

KeywordSet::KeywordSet(const std::vector<std::string>& keywords) {
    m_nodes.emplace_back();
    for (const std::string& raw : keywords) {
        const std::string word = asciiLower(raw);
        if (word.empty()) continue;
        int node = 0;
        for (unsigned char c : word) {
            int next = child(node, c);
            if (next < 0) {
                next = static_cast<int>(m_nodes.size());
                m_nodes.emplace_back();
                auto& edges = m_nodes[node].next;
                edges.insert(std::upper_bound(edges.begin(), edges.end(), std::make_pair(c, 0),
                                              [](const auto& a, const auto& b) { return a.first < b.first; }),
                             {c, next});
            }
            node = next;
        }
        m_nodes[node].length = static_cast<int>(word.size());
    }
    // Fail links breadth first: the longest proper suffix that is also a prefix of a keyword.
    std::deque<int> queue;
    for (const auto& [c, next] : m_nodes[0].next) queue.push_back(next);
    m_nodes[0].output = -1;
    for (int root : queue) m_nodes[root].output = m_nodes[root].length ? root : -1;
    while (!queue.empty()) {
        const int node = queue.front();
        queue.pop_front();
        for (const auto& [c, next] : m_nodes[node].next) {
            int f = m_nodes[node].fail;
            while (f && child(f, c) < 0) f = m_nodes[f].fail;
            const int target = child(f, c);
            m_nodes[next].fail = target >= 0 && target != next ? target : 0;
            const int failOutput = m_nodes[m_nodes[next].fail].output;
            m_nodes[next].output = m_nodes[next].length ? next : failOutput;
            queue.push_back(next);
        }
    }
}

bool KeywordSet::foundIn(std::string_view gbkText) const {
    if (empty()) return false;
    const std::string text = asciiLower(gbkText);
    // Where characters start: a keyword found across a character's bytes is no match.
    std::vector<bool> starts(text.size() + 1, false);
    for (std::size_t i = 0; i < text.size(); i += gbkCharLength(text, i)) starts[i] = true;
    int node = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        while (node && child(node, c) < 0) node = m_nodes[node].fail;
        const int next = child(node, c);
        node = next < 0 ? 0 : next;
        for (int out = m_nodes[node].output; out >= 0; out = m_nodes[m_nodes[out].fail].output) {
            const std::size_t begin = i + 1 - static_cast<std::size_t>(m_nodes[out].length);
            if (starts[begin] && (i + 1 == text.size() || starts[i + 1])) return true;
        }
    }
    return false;
}

}  // namespace tovi
