#include "core/plans/PlanFields.h"

#include <map>

#include "core/net/Url.h"
#include "core/text/Gbk.h"
#include "core/text/TextToInt.h"

namespace tovi {

const std::vector<std::string>& planFieldNames() {
    static const std::vector<std::string> names = {
        "name",        "url",      "cookie",      "ua",   "template", "expr",     "before", "after",
        "title-group", "id-group", "other-group", "mode", "encoding", "category", "ticked"};
    return names;
}

Result<PlanFieldValue> planFieldValue(const std::string& field, const std::string& value,
                                      const std::vector<std::string>& categories) {
    auto fail = [](std::string why) -> Result<PlanFieldValue> { return Error{std::move(why)}; };
    static const std::map<std::string, std::string> texts = {
        {"name", "name"},          {"url", "url"},         {"cookie", "cookie"},     {"ua", "ua"},
        {"template", "buquan"},    {"expr", "regular"},    {"before", "before"},     {"after", "after"},
        {"title-group", "tindex"}, {"id-group", "uindex"}, {"other-group", "oindex"}};
    if (auto it = texts.find(field); it != texts.end()) {
        if (it->second == "tindex" || it->second == "uindex" || it->second == "oindex") {
            auto n = textToIntChecked(value);
            if (value.empty() || !n || *n < 0 || value.find_first_not_of("0123456789") != std::string::npos)
                return fail(gbk("分组编号要写成 0 或更大的整数：") + value);
        }
        if (it->second == "url") {
            // Written without http:// or https://, a page address is no address a run can use
            // as it stands (a relative link would be read against it).
            if (!isWebAddress(value)) return fail(gbk("监控网址要以 http:// 或 https:// 开头：") + value);
        }
        return PlanFieldValue{it->second, value};
    }
    if (field == "mode") {
        if (value == "desc") return PlanFieldValue{"type", std::string("0")};
        if (value == "asc") return PlanFieldValue{"type", std::string("2")};
        if (value == "id") return PlanFieldValue{"type", std::string("8")};
        return fail(gbk("判断模式只能是 desc（时间倒序）、asc（时间正序）或 id（比较文章ID）：") + value);
    }
    if (field == "encoding") {
        if (value == "gbk") return PlanFieldValue{"code", std::string("1")};
        if (value == "utf8" || value == "utf-8") return PlanFieldValue{"code", std::string("0")};
        return fail(gbk("编码只能是 gbk 或 utf8：") + value);
    }
    if (field == "category") {
        for (std::size_t k = 0; k < categories.size(); ++k)
            if (categories[k] == value) return PlanFieldValue{"class", static_cast<std::int64_t>(k + 1)};
        std::string known;
        for (const auto& c : categories) known += (known.empty() ? "" : ", ") + c;
        return fail(gbk("没有这个分类：") + value + gbk("（有：") + known + gbk("）"));
    }
    if (field == "ticked") {
        if (value == "yes" || value == "1") return PlanFieldValue{"isdo", std::int64_t{1}};
        if (value == "no" || value == "0") return PlanFieldValue{"isdo", std::int64_t{0}};
        return fail(gbk("ticked 只能是 yes 或 no：") + value);
    }
    return fail(gbk("没有这个字段：") + field);
}

SqlResult setPlanField(Database& db, std::int64_t id, const PlanFieldValue& field) {
    // The column comes from the fixed list above, never from the caller's text.
    return db.run(Statement("update rule set " + field.column + "=? where id=?", {field.value, id}));
}

}  // namespace tovi
