#include "script/script.h"

#include "clip/work_control.h"
#include "script/parser.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <new>
#include <sstream>

namespace engine::script {

ScriptError::ScriptError(int line, const std::string &reason)
    : Error(line > 0 ? "Script error in line " + std::to_string(line) + ": " + reason : "Script error: " + reason)
    , m_line(line)
{
}

namespace {

// The longest text `+` may make.
constexpr std::size_t kMaxTextBytes = std::size_t{1} << 20;

// Integer arithmetic of the language is 32-bit two's complement.
std::int32_t wrap(std::int64_t v)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

const char *opText(TokenType op)
{
    switch (op) {
    case TokenType::Plus: return "+";
    case TokenType::Minus: return "-";
    case TokenType::Star: return "*";
    case TokenType::Slash: return "/";
    case TokenType::Percent: return "%";
    default: return "?";
    }
}

// A value converted to a parameter's type, or nothing when it does not fit.
std::optional<Value> convertTo(ArgType type, const Value &v)
{
    switch (type) {
    case ArgType::Clip:
        if (const auto *c = std::get_if<ClipPtr>(&v); c && *c)
            return v;
        return std::nullopt;
    case ArgType::Int:
        if (std::holds_alternative<std::int32_t>(v))
            return v;
        if (const auto *d = std::get_if<double>(&v)) {
            // A fraction where a whole number is expected is rounded
            // ("2.5*15" frames becomes 38) rather than refused.
            const double r = std::round(*d);
            if (std::isfinite(r) && r >= std::numeric_limits<std::int32_t>::min() &&
                r <= std::numeric_limits<std::int32_t>::max())
                return Value(static_cast<std::int32_t>(r));
        }
        return std::nullopt;
    case ArgType::Float:
        if (const auto *n = std::get_if<std::int32_t>(&v))
            return Value(static_cast<double>(*n));
        if (std::holds_alternative<double>(v))
            return v;
        return std::nullopt;
    case ArgType::Bool:
        if (std::holds_alternative<bool>(v))
            return v;
        return std::nullopt;
    case ArgType::String:
        if (std::holds_alternative<std::string>(v))
            return v;
        return std::nullopt;
    case ArgType::Any:
        if (std::holds_alternative<Undefined>(v))
            return std::nullopt;
        return v;
    }
    return std::nullopt;
}

const char *typeWords(ArgType type)
{
    switch (type) {
    case ArgType::Clip: return "a clip";
    case ArgType::Int: return "a whole number";
    case ArgType::Float: return "a number";
    case ArgType::Bool: return "true or false";
    case ArgType::String: return "a text";
    case ArgType::Any: return "a value";
    }
    return "a value";
}

struct NamedValue
{
    std::string name;
    Value value;
};

// Binds arguments to one signature. On failure returns nothing and sets why.
std::optional<CallArgs> bindArguments(const FunctionDef &def, const std::vector<Value> &positional,
                             const std::vector<NamedValue> &named, std::string &why)
{
    CallArgs args;
    args.values.resize(def.params.size());
    std::size_t p = 0;
    for (std::size_t i = 0; i < def.params.size() && p < positional.size(); ++i) {
        const Param &param = def.params[i];
        if (param.variadic) {
            while (p < positional.size()) {
                std::optional<Value> v = convertTo(param.type, positional[p]);
                if (!v)
                    break;
                if (!args.values[i])
                    args.values[i] = *v;
                args.rest.push_back(std::move(*v));
                ++p;
            }
            continue;
        }
        std::optional<Value> v = convertTo(param.type, positional[p]);
        if (!v) {
            why = "argument " + std::to_string(p + 1) + " must be " + typeWords(param.type) + ", not " +
                  describeType(positional[p]);
            return std::nullopt;
        }
        args.values[i] = std::move(v);
        ++p;
    }
    if (p < positional.size()) {
        why = "too many arguments (" + std::to_string(positional.size()) + ")";
        return std::nullopt;
    }
    for (const NamedValue &n : named) {
        const std::string key = foldCase(n.name);
        std::size_t i = 0;
        while (i < def.params.size() && foldCase(def.params[i].name) != key)
            ++i;
        if (i == def.params.size() || def.params[i].name.empty()) {
            why = "there is no argument named \"" + n.name + "\"";
            return std::nullopt;
        }
        if (args.values[i]) {
            why = "argument \"" + n.name + "\" is given twice";
            return std::nullopt;
        }
        std::optional<Value> v = convertTo(def.params[i].type, n.value);
        if (!v) {
            why = "argument \"" + n.name + "\" must be " + typeWords(def.params[i].type) + ", not " +
                  describeType(n.value);
            return std::nullopt;
        }
        if (def.params[i].variadic)
            args.rest.push_back(*v);
        args.values[i] = std::move(v);
    }
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        if (!args.values[i] && !def.params[i].optional) {
            const Param &param = def.params[i];
            why = param.name.empty() ? "argument " + std::to_string(i + 1) + " (" + typeWords(param.type) + ") is missing"
                                     : "argument \"" + param.name + "\" (" + typeWords(param.type) + ") is missing";
            return std::nullopt;
        }
    }
    return args;
}

class Evaluator
{
public:
    Evaluator(const FunctionTable &table, const EvalContext &context) : m_table(table), m_context(context)
    {
        if (!m_context.control)
            m_context.control = std::make_shared<WorkControl>();
    }

    Value run(const std::vector<Statement> &statements)
    {
        Value result;
        for (const Statement &s : statements) {
            Value v = eval(*s.value);
            if (!s.target.empty()) {
                m_vars[foldCase(s.target)] = std::move(v);
                result = Undefined{};
            } else {
                if (std::holds_alternative<ClipPtr>(v))
                    m_vars["last"] = v;
                result = std::move(v);
            }
        }
        return result;
    }

private:
    Value eval(const Expr &e)
    {
        switch (e.kind) {
        case Expr::Kind::Literal: return e.literal;
        case Expr::Kind::Name: return name(e);
        case Expr::Kind::Call: return call(e);
        case Expr::Kind::Unary: return unary(e);
        case Expr::Kind::Binary: return binary(e);
        }
        return Undefined{};
    }

    // A bare name is a variable, or else a function called without
    // parentheses (Reverse on its own line means Reverse(last)).
    Value name(const Expr &e)
    {
        if (auto it = m_vars.find(foldCase(e.name)); it != m_vars.end())
            return it->second;
        if (!m_table.find(e.name).empty())
            return invoke(e.name, e.line, {}, {}, false);
        if (foldCase(e.name) == "last")
            throw ScriptError(e.line, "there is no current clip (\"last\") yet");
        throw ScriptError(e.line, "unknown name \"" + e.name + "\" (not a variable set above, nor a function)");
    }

    Value call(const Expr &e)
    {
        std::vector<Value> positional;
        std::vector<NamedValue> named;
        for (const Argument &a : e.args) {
            if (a.name.empty())
                positional.push_back(eval(*a.value));
            else
                named.push_back(NamedValue{a.name, eval(*a.value)});
        }
        return invoke(e.name, e.line, positional, named, e.method);
    }

    Value invoke(const std::string &fname, int line, std::vector<Value> positional, const std::vector<NamedValue> &named,
                 bool method)
    {
        const std::vector<const FunctionDef *> overloads = m_table.find(fname);
        if (overloads.empty())
            throw ScriptError(line, "unknown function \"" + fname + "\"");

        std::string whyAsWritten;
        for (const FunctionDef *def : overloads) {
            std::string why;
            if (std::optional<CallArgs> args = bindArguments(*def, positional, named, why))
                return perform(*def, line, std::move(*args));
            if (whyAsWritten.empty())
                whyAsWritten = why;
        }

        // Retry with the current clip in front: "Tweak(30,1.2,-10,1)" acts on last.
        std::string whyWithLast;
        const auto last = m_vars.find("last");
        if (!method && last != m_vars.end() && std::holds_alternative<ClipPtr>(last->second)) {
            positional.insert(positional.begin(), last->second);
            for (const FunctionDef *def : overloads) {
                std::string why;
                if (std::optional<CallArgs> args = bindArguments(*def, positional, named, why))
                    return perform(*def, line, std::move(*args));
                if (whyWithLast.empty())
                    whyWithLast = why;
            }
            positional.erase(positional.begin());
        }

        // Report the attempt the writer most likely meant: with last when
        // the call names no clip of its own.
        const bool namesClip = !positional.empty() && std::holds_alternative<ClipPtr>(positional.front());
        const std::string &why = (!namesClip && !whyWithLast.empty()) ? whyWithLast : whyAsWritten;
        throw ScriptError(line, overloads.front()->name + ": invalid arguments: " + why);
    }

    Value perform(const FunctionDef &def, int line, CallArgs args)
    {
        args.line = line;
        args.context = &m_context;
        try {
            Value result = def.call(args);
            m_table.onResult(result, m_context);
            return result;
        } catch (const ScriptError &) {
            throw;
        } catch (const Error &e) {
            throw ScriptError(line, def.name + ": " + e.what());
        } catch (const std::bad_alloc &) {
            throw ScriptError(line, def.name + ": out of memory");
        } catch (const std::exception &e) {
            throw ScriptError(line, def.name + ": " + e.what());
        }
    }

    Value unary(const Expr &e)
    {
        Value v = eval(*e.left);
        if (e.op == TokenType::Plus && (std::holds_alternative<std::int32_t>(v) || std::holds_alternative<double>(v)))
            return v;
        if (const auto *n = std::get_if<std::int32_t>(&v))
            return wrap(-static_cast<std::int64_t>(*n));
        if (const auto *d = std::get_if<double>(&v))
            return -*d;
        throw ScriptError(e.line, std::string("cannot apply '") + opText(e.op) + "' to " + describeType(v));
    }

    Value binary(const Expr &e)
    {
        const Value a = eval(*e.left);
        const Value b = eval(*e.right);
        const auto *ai = std::get_if<std::int32_t>(&a);
        const auto *bi = std::get_if<std::int32_t>(&b);
        if (ai && bi) {
            const std::int64_t x = *ai;
            const std::int64_t y = *bi;
            switch (e.op) {
            case TokenType::Plus: return wrap(x + y);
            case TokenType::Minus: return wrap(x - y);
            case TokenType::Star: return wrap(x * y);
            case TokenType::Slash:
            case TokenType::Percent:
                if (y == 0)
                    throw ScriptError(e.line, "division by zero");
                // C semantics: the quotient truncates toward zero.
                return wrap(e.op == TokenType::Slash ? x / y : x % y);
            default: break;
            }
        }
        const bool aNum = ai || std::holds_alternative<double>(a);
        const bool bNum = bi || std::holds_alternative<double>(b);
        if (aNum && bNum) {
            const double x = ai ? *ai : std::get<double>(a);
            const double y = bi ? *bi : std::get<double>(b);
            switch (e.op) {
            case TokenType::Plus: return x + y;
            case TokenType::Minus: return x - y;
            case TokenType::Star: return x * y;
            case TokenType::Slash:
            case TokenType::Percent:
                if (y == 0.0)
                    throw ScriptError(e.line, "division by zero");
                return e.op == TokenType::Slash ? x / y : std::fmod(x, y);
            default: break;
            }
        }
        if (e.op == TokenType::Plus && std::holds_alternative<std::string>(a) && std::holds_alternative<std::string>(b)) {
            const std::string &x = std::get<std::string>(a);
            const std::string &y = std::get<std::string>(b);
            // A script doubling a text in a loop of lines would otherwise
            // eat the memory; no file name or caption comes near this.
            if (x.size() + y.size() > kMaxTextBytes)
                throw ScriptError(e.line, "the joined text would be longer than " +
                                              std::to_string(kMaxTextBytes / (1024 * 1024)) + " MiB");
            return x + y;
        }
        throw ScriptError(e.line, std::string("cannot apply '") + opText(e.op) + "' to " + describeType(a) + " and " +
                                      describeType(b));
    }

    const FunctionTable &m_table;
    EvalContext m_context; // the caller's, with a control of this run's own when it had none
    std::map<std::string, Value> m_vars; // keys in folded case
};

} // namespace

Value evaluateScript(std::string_view text, const FunctionTable &table, const EvalContext &context)
{
    const std::vector<Statement> statements = parseScript(text);
    return Evaluator(table, context).run(statements);
}

ClipPtr runScript(std::string_view text, const FunctionTable &table, const EvalContext &context)
{
    const std::vector<Statement> statements = parseScript(text);
    if (statements.empty())
        throw ScriptError(0, "the script has no statements");
    Value result = Evaluator(table, context).run(statements);
    if (auto *clip = std::get_if<ClipPtr>(&result); clip && *clip)
        return *clip;
    throw ScriptError(statements.back().line, "the script's last line must give a clip, but it gives " +
                                                  describeType(result));
}

ClipPtr openScriptFile(const std::string &path, const FunctionTable &table, ScriptUse use)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw Error("Cannot open the script \"" + path + "\": " + std::strerror(err ? err : ENOENT));
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        throw Error("Cannot read the script \"" + path + "\"");

    EvalContext context;
    const std::size_t slash = path.find_last_of('/');
    context.scriptFolder = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    context.use = use;
    return runScript(text.str(), table, context);
}

} // namespace engine::script
