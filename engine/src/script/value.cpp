#include "script/value.h"

#include "clip/error.h"

#include <algorithm>

namespace engine::script {

std::string foldCase(std::string_view name)
{
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::string describeType(const Value &v)
{
    struct Namer
    {
        std::string operator()(const Undefined &) const { return "nothing (an undefined value)"; }
        std::string operator()(bool) const { return "a true/false value"; }
        std::string operator()(std::int32_t) const { return "a whole number"; }
        std::string operator()(double) const { return "a number"; }
        std::string operator()(const std::string &) const { return "a text"; }
        std::string operator()(const ClipPtr &) const { return "a clip"; }
    };
    return std::visit(Namer{}, v);
}

namespace {

const Value &argument(const CallArgs &args, std::size_t i)
{
    if (!args.has(i))
        throw Error("argument " + std::to_string(i + 1) + " is missing");
    return *args.values[i];
}

[[noreturn]] void wrongType(std::size_t i, const char *wanted, const Value &got)
{
    throw Error("argument " + std::to_string(i + 1) + " must be " + wanted + ", not " + describeType(got));
}

} // namespace

const ClipPtr &CallArgs::clip(std::size_t i) const
{
    const Value &v = argument(*this, i);
    if (const auto *c = std::get_if<ClipPtr>(&v); c && *c)
        return *c;
    wrongType(i, "a clip", v);
}

std::int32_t CallArgs::integer(std::size_t i, std::int32_t fallback) const
{
    if (!has(i))
        return fallback;
    const Value &v = *values[i];
    if (const auto *n = std::get_if<std::int32_t>(&v))
        return *n;
    wrongType(i, "a whole number", v);
}

double CallArgs::real(std::size_t i, double fallback) const
{
    if (!has(i))
        return fallback;
    const Value &v = *values[i];
    if (const auto *d = std::get_if<double>(&v))
        return *d;
    if (const auto *n = std::get_if<std::int32_t>(&v))
        return *n;
    wrongType(i, "a number", v);
}

bool CallArgs::boolean(std::size_t i, bool fallback) const
{
    if (!has(i))
        return fallback;
    const Value &v = *values[i];
    if (const auto *b = std::get_if<bool>(&v))
        return *b;
    wrongType(i, "true or false", v);
}

const std::string &CallArgs::text(std::size_t i) const
{
    const Value &v = argument(*this, i);
    if (const auto *s = std::get_if<std::string>(&v))
        return *s;
    wrongType(i, "a text", v);
}

void FunctionTable::add(FunctionDef def)
{
    m_defs.push_back(std::move(def));
}

std::vector<const FunctionDef *> FunctionTable::find(const std::string &name) const
{
    const std::string key = foldCase(name);
    std::vector<const FunctionDef *> found;
    for (const FunctionDef &def : m_defs)
        if (foldCase(def.name) == key)
            found.push_back(&def);
    return found;
}

void FunctionTable::addResultHook(ResultHook hook)
{
    m_hooks.push_back(std::move(hook));
}

void FunctionTable::onResult(const Value &value, const EvalContext &context) const
{
    for (const ResultHook &hook : m_hooks)
        hook(value, context);
}

} // namespace engine::script
