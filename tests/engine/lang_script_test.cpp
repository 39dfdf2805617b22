// The script language: literals, arithmetic, strings, names, implicit last,
// line ends and errors, against fake functions.

#include "lang_test_clips.h"

#include "script/script.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using engine::script::ArgType;
using engine::script::CallArgs;
using engine::script::EvalContext;
using engine::script::FunctionTable;
using engine::script::Param;
using engine::script::Value;

std::int64_t framesOf(const Value &v)
{
    return std::get<engine::ClipPtr>(v)->info().frameCount;
}

// Make(n): a clip of n frames; Add(clip, n): n frames longer; Twice(clip):
// twice as long, also callable without parentheses; Echo(x): x unchanged;
// Whole(int): the int it received.
FunctionTable fakeTable()
{
    FunctionTable t;
    t.add({"Make", {Param{"frames", ArgType::Int}}, [](const CallArgs &a) -> Value {
               testclips::Shape s;
               s.frames = a.integer(0);
               return engine::ClipPtr(testclips::make(s));
           }});
    t.add({"Add", {Param{"", ArgType::Clip}, Param{"n", ArgType::Int}}, [](const CallArgs &a) -> Value {
               testclips::Shape s;
               s.frames = a.clip(0)->info().frameCount + a.integer(1);
               return engine::ClipPtr(testclips::make(s));
           }});
    t.add({"Twice", {Param{"", ArgType::Clip}}, [](const CallArgs &a) -> Value {
               testclips::Shape s;
               s.frames = 2 * a.clip(0)->info().frameCount;
               return engine::ClipPtr(testclips::make(s));
           }});
    t.add({"Echo", {Param{"", ArgType::Any}}, [](const CallArgs &a) -> Value { return *a.values[0]; }});
    t.add({"Whole", {Param{"", ArgType::Int}}, [](const CallArgs &a) -> Value { return a.integer(0); }});
    t.add({"Named", {Param{"", ArgType::Int}, Param{"b", ArgType::Int, true}, Param{"c", ArgType::Int, true}},
           [](const CallArgs &a) -> Value { return a.integer(0) * 100 + a.integer(1, 0) * 10 + a.integer(2, 0); }});
    t.add({"Fail", {}, [](const CallArgs &) -> Value { throw engine::Error("cannot open \"/x/y.avi\""); }});
    return t;
}

Value eval(const std::string &text)
{
    return engine::script::evaluateScript(text, fakeTable(), EvalContext{});
}

struct ValueCase
{
    const char *script;
    Value expected;
};

class ScriptValue : public testing::TestWithParam<ValueCase>
{
};

TEST_P(ScriptValue, Evaluates)
{
    EXPECT_EQ(eval(GetParam().script), GetParam().expected) << GetParam().script;
}

INSTANTIATE_TEST_SUITE_P(
    Literals, ScriptValue,
    testing::Values(
        // Integer division truncates; a float anywhere makes the result float.
        ValueCase{"256*480/720", Value(std::int32_t{170})}, ValueCase{"256*288/352", Value(std::int32_t{209})},
        ValueCase{"-7/2", Value(std::int32_t{-3})}, ValueCase{"7/2.0", Value(3.5)},
        ValueCase{"2.5*15", Value(37.5)}, ValueCase{"(120+3)*15", Value(std::int32_t{1845})},
        ValueCase{"120*15+46", Value(std::int32_t{1846})}, ValueCase{"10-4-3", Value(std::int32_t{3})},
        ValueCase{"1+2*3", Value(std::int32_t{7})}, ValueCase{"7%3", Value(std::int32_t{1})},
        ValueCase{"$FF0000", Value(std::int32_t{16711680})}, ValueCase{"-1.58", Value(-1.58)},
        ValueCase{"2147483647+1", Value(std::int32_t{-2147483647 - 1})},
        // Strings: no escapes, triple quotes may hold quotes.
        ValueCase{"\"C:\\Videos\\clip.avi\"", Value(std::string("C:\\Videos\\clip.avi"))},
        ValueCase{"\"\"\"a\"b\"\"\"", Value(std::string("a\"b"))},
        ValueCase{"\"\"\"say \"hi\"\"\"\"", Value(std::string("say \"hi\""))},
        // The writer splits a value after a run of three or more quotes and
        // joins the literals with +.
        ValueCase{"\"\"\"a\"\"\"+\"\"\"\"\"b\"\"\"", Value(std::string("a\"\"b"))},
        ValueCase{"\"\"\"a\"\"\"\"\"\"+\"b\"", Value(std::string("a\"\"\"b"))},
        ValueCase{"\"\"\"\"\"\"\"\"\"+\"\"\"\"\"\"\"\"\"+\"x\"", Value(std::string("\"\"\"\"\"\"x"))},
        ValueCase{"\"C:\\a\" + \"\"\"\"b\"\"\" + \"%d\"", Value(std::string("C:\\a\"b%d"))},
        ValueCase{"\"\"", Value(std::string())}, ValueCase{"\"a\" + \"b\"", Value(std::string("ab"))},
        ValueCase{"TRUE", Value(true)}, ValueCase{"false", Value(false)},
        // A fraction where a whole number is expected is rounded.
        ValueCase{"Whole(2.5*3)", Value(std::int32_t{8})}, ValueCase{"Whole(2.4)", Value(std::int32_t{2})},
        ValueCase{"Whole(-2.5)", Value(std::int32_t{-3})},
        // Named arguments in any order, names without case.
        ValueCase{"Named(1, C=3, b=2)", Value(std::int32_t{123})}, ValueCase{"Named(1, c=3)", Value(std::int32_t{103})},
        // Names ignore case; whitespace before '(' is allowed.
        ValueCase{"x = 4\nWHOLE (X)", Value(std::int32_t{4})},
        ValueCase{"# comment\r\nx = 1 # trailing\r\n\r\nx+1", Value(std::int32_t{2})}));

TEST(Script, StringMayContainLineEndsAndLinesStillCount)
{
    EXPECT_EQ(eval("\"a\r\nb\""), Value(std::string("a\r\nb")));
    try {
        eval("x = \"a\r\nb\"\r\nNope(1)");
        FAIL() << "no error";
    } catch (const engine::script::ScriptError &e) {
        EXPECT_EQ(e.line(), 3);
    }
}

TEST(Script, BareCallsChainThroughLast)
{
    // Each bare call that gives a clip becomes last; calls that cannot take
    // their arguments as written are retried with last in front.
    EXPECT_EQ(framesOf(eval("Make(5)\nAdd(3)\nadd(2)")), 10);
    EXPECT_EQ(framesOf(eval("c = Make(5)\nAdd(c, 1)\nTwice")), 12);
    EXPECT_EQ(framesOf(eval("c = Make(5)\nc\nTwice()")), 10);
    EXPECT_EQ(framesOf(eval("Make(4)\nlast.Add(1)")), 5);
    // An assignment does not change last.
    EXPECT_EQ(framesOf(eval("Make(5)\nd = Make(9)\nAdd(1)")), 6);
}

TEST(Script, RunScriptNeedsAClipAtTheEnd)
{
    const FunctionTable table = fakeTable();
    EXPECT_EQ(engine::script::runScript("c = Make(3)\r\nc", table, EvalContext{})->info().frameCount, 3);
    EXPECT_THROW(engine::script::runScript("c = Make(3)", table, EvalContext{}), engine::script::ScriptError);
    EXPECT_THROW(engine::script::runScript("1+1", table, EvalContext{}), engine::script::ScriptError);
    EXPECT_THROW(engine::script::runScript("# nothing\n", table, EvalContext{}), engine::script::ScriptError);
}

struct ErrorCase
{
    const char *script;
    int line;
    const char *fragment;
};

class ScriptErrors : public testing::TestWithParam<ErrorCase>
{
};

TEST_P(ScriptErrors, NameLineAndReason)
{
    const ErrorCase &c = GetParam();
    try {
        eval(c.script);
        FAIL() << "no error for: " << c.script;
    } catch (const engine::script::ScriptError &e) {
        EXPECT_EQ(e.line(), c.line) << e.what();
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Script error in line " + std::to_string(c.line) + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(c.fragment), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, ScriptErrors,
    testing::Values(ErrorCase{"a = Make(1)\nb = a\nc = Nope(b)", 3, "unknown function \"Nope\""},
                    ErrorCase{"a = Make(1)\r\nb = a\r\nc = Nope(b)", 3, "unknown function"},
                    ErrorCase{"a = Make(1)\rb = a\rc = Nope(b)", 3, "unknown function"},
                    ErrorCase{"a = Make(1)\r\nb = a\nc = Nope(b)", 3, "unknown function"},
                    ErrorCase{"x = 1\nvideofile = \"C:\\a.avi", 2, "never closed"},
                    ErrorCase{"x = \"\"\"abc\"\"", 1, "never closed"},
                    ErrorCase{"x = 1\ny = x/0", 2, "division by zero"},
                    ErrorCase{"x = 1\ny = 2.0/0", 2, "division by zero"},
                    ErrorCase{"x = 1\ny = zz + 1", 2, "unknown name \"zz\""},
                    ErrorCase{"Add(1)", 1, "Add: invalid arguments"},
                    ErrorCase{"c = Make(2)\nAdd(c, \"x\")", 2, "argument 2 must be a whole number, not a text"},
                    ErrorCase{"Named(1, d=2)", 1, "no argument named \"d\""},
                    ErrorCase{"Named(1, b=2, b=3)", 1, "given twice"},
                    ErrorCase{"x = 1\n\nFail()", 3, "Fail: cannot open \"/x/y.avi\""},
                    ErrorCase{"x = (1 + 2", 1, "expected ')'"},
                    ErrorCase{"x = 1 2", 1, "end of the line"},
                    ErrorCase{"x = 1 +\ny = 2", 1, "expected a value"},
                    ErrorCase{"x = 1 ; y", 1, "unexpected character ';'"},
                    ErrorCase{"x = 99999999999", 1, "too large"},
                    ErrorCase{"Whole(true)", 1, "must be a whole number"},
                    ErrorCase{"x = \"a\" - 1", 1, "cannot apply '-'"}));

TEST(Script, DeepNestingIsAnErrorNotACrash)
{
    const std::string deep = std::string(100000, '(') + "1" + std::string(100000, ')');
    EXPECT_THROW(eval(deep), engine::script::ScriptError);
    EXPECT_THROW(eval("x = " + std::string(100000, '-') + "1"), engine::script::ScriptError);
}

std::string repeated(const std::string &piece, int times)
{
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

// Chains are parsed in loops, yet each link makes the tree a level taller:
// long chains are an error (evaluating or freeing the tree would recurse
// that deep), chains of a sane length still evaluate.
TEST(Script, LongChainsAreAnErrorNotACrash)
{
    EXPECT_EQ(std::get<std::int32_t>(eval("x = 1" + repeated("+1", 299) + "\nWhole(x)")), 300);
    EXPECT_EQ(framesOf(eval("x = Make(1)" + repeated(".Twice", 20) + "\nx")), 1 << 20);

    EXPECT_THROW(eval("x = 1" + repeated("+1", 3000) + "\nWhole(x)"), engine::script::ScriptError);
    EXPECT_THROW(eval("x = 2" + repeated("*1-1", 3000) + "\nWhole(x)"), engine::script::ScriptError);
    EXPECT_THROW(eval("x = Make(1)" + repeated(".Twice", 3000) + "\nx"), engine::script::ScriptError);
    EXPECT_THROW(eval("x = Make(1)" + repeated(".Add(1)", 3000) + "\nx"), engine::script::ScriptError);
    // The syntax error comes after a very long chain: the tree built so far
    // is freed on the way out.
    EXPECT_THROW(eval("x = 1" + repeated("+1", 100000) + "\n)\n"), engine::script::ScriptError);
}

TEST(Script, JoinedTextHasALimit)
{
    // Doubling eight characters passes 1 MiB on the 18th doubling (line 19).
    const std::string doubling = "a = \"xxxxxxxx\"\n" + repeated("a = a + a\n", 40) + "Echo(a)";
    try {
        eval(doubling);
        FAIL() << "no error";
    } catch (const engine::script::ScriptError &e) {
        EXPECT_EQ(e.line(), 19) << e.what();
        EXPECT_NE(std::string(e.what()).find("longer than 1 MiB"), std::string::npos) << e.what();
    }
    EXPECT_EQ(std::get<std::string>(eval("a = \"xxxxxxxx\"\n" + repeated("a = a + a\n", 17) + "Echo(a)")).size(),
              std::size_t{1} << 20);
}

TEST(Script, OpenScriptFileReportsAMissingFile)
{
    try {
        engine::script::openScriptFile(std::string(VELMORA_TEST_TMP) + "/no-such-dir/temp.avs", fakeTable(),
                                     engine::script::ScriptUse::Probe);
        FAIL() << "no error";
    } catch (const engine::Error &e) {
        EXPECT_NE(std::string(e.what()).find("no-such-dir/temp.avs"), std::string::npos) << e.what();
    }
}

} // namespace
