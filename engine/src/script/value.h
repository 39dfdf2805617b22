#pragma once

// Values of the script language. No libav here: clips are opaque to the
// language layer.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace engine {
class Clip;
using ClipPtr = std::shared_ptr<Clip>;
} // namespace engine

namespace engine::script {

struct Undefined
{
    bool operator==(const Undefined &) const = default;
};

// int is 32-bit signed, as in the script language; float is kept as double.
using Value = std::variant<Undefined, bool, std::int32_t, double, std::string, ClipPtr>;

enum class ArgType { Clip, Int, Float, Bool, String, Any };

// What a script is opened for; built-in functions may read it.
struct EvalContext
{
    std::string scriptFolder; // folder of the script file, ending in '/'; temporary files go here
    bool forPass = false;     // true when a pass will encode the clip; false for a length probe
                              // (Encode_GetFrame), where costly analysis such as crop detection is skipped
};

struct Param
{
    std::string name; // for named arguments (name=value); matched without case
    ArgType type;
    bool optional = false;
};

// Arguments bound to one function's parameters, in declaration order.
// Conversions are already applied: an Int parameter holds an int (a float
// given there is rounded to the nearest whole number), a Float parameter
// holds a double.
class CallArgs
{
public:
    std::vector<std::optional<Value>> values; // one per Param; empty when omitted
    int line = 0;                             // script line of the call, for messages
    const EvalContext *context = nullptr;     // never null during a call

    bool has(std::size_t i) const { return i < values.size() && values[i].has_value(); }
    const ClipPtr &clip(std::size_t i) const;
    std::int32_t integer(std::size_t i, std::int32_t fallback = 0) const;
    double real(std::size_t i, double fallback = 0.0) const;
    bool boolean(std::size_t i, bool fallback = false) const;
    const std::string &text(std::size_t i) const;
};

// A built-in function. It throws engine::Error with a plain message (the
// evaluator prefixes the line and the function's name).
using Builtin = std::function<Value(const CallArgs &)>;

struct FunctionDef
{
    std::string name; // as written in scripts; lookup ignores case
    std::vector<Param> params;
    Builtin call;
};

// Registry of built-in functions; overloads share a name and are tried in
// the order they were added.
class FunctionTable
{
public:
    void add(FunctionDef def);
    // All overloads of name (case-insensitive); empty when unknown.
    std::vector<const FunctionDef *> find(const std::string &name) const;

private:
    std::vector<FunctionDef> m_defs;
};

} // namespace engine::script
