#pragma once
// How a fallible call of the core says how it went: its value, or an Error that says why not
// (GBK, as the status line shows it). Transport failures, bad input and refused statements all
// come back this way; exceptions stay at the fronts' edges.
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tovi {

struct Error {
    explicit Error(std::string why, std::string what = {})
        : message(std::move(why)), detail(std::move(what)) {}
    std::string message;  // GBK
    std::string detail;   // what was being done, when it helps to show it (e.g. the statement)
};

template <class T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(m_state); }
    const T& value() const { return std::get<0>(m_state); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // Why not, and what was being done; only when !ok().
    const std::string& error() const { return std::get<1>(m_state).message; }
    const std::string& detail() const { return std::get<1>(m_state).detail; }

private:
    std::variant<T, Error> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error; }
    explicit operator bool() const { return ok(); }
    // Why not, and what was being done; only when !ok().
    const std::string& error() const { return m_error->message; }
    const std::string& detail() const { return m_error->detail; }

private:
    std::optional<Error> m_error;
};

}  // namespace tovi
