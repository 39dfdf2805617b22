#include "script/parser.h"

#include "script/script.h"

#include <algorithm>

namespace engine::script {

namespace {

// Deep enough for any hand-written expression, shallow enough that a
// pathological script cannot exhaust the stack.
constexpr int kMaxDepth = 200;
// The same for the tree a statement builds. Operator chains (1+1+...+1) and
// method chains (x.f.f...) are parsed in loops, not by recursion, yet each
// link makes the tree one level taller.
constexpr int kMaxHeight = 400;

class Parser
{
public:
    explicit Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    std::vector<Statement> run()
    {
        std::vector<Statement> statements;
        for (;;) {
            while (peek().type == TokenType::Newline)
                ++m_pos;
            if (peek().type == TokenType::End)
                break;
            statements.push_back(statement());
            const Token &after = peek();
            if (after.type != TokenType::Newline && after.type != TokenType::End)
                fail(after, "expected the end of the line, found " + describeToken(after));
        }
        return statements;
    }

private:
    const Token &peek(std::size_t ahead = 0) const
    {
        const std::size_t i = std::min(m_pos + ahead, m_tokens.size() - 1);
        return m_tokens[i];
    }

    const Token &take() { return m_tokens[std::min(m_pos++, m_tokens.size() - 1)]; }

    [[noreturn]] static void fail(const Token &at, const std::string &reason) { throw ScriptError(at.line, reason); }

    // Sets a finished node's height from its children; refuses a tree that
    // grows too tall while it is still small enough to free.
    static void seal(Expr &e, const Token &at)
    {
        int below = 0;
        if (e.left)
            below = e.left->height;
        if (e.right)
            below = std::max(below, e.right->height);
        for (const Argument &a : e.args)
            below = std::max(below, a.value->height);
        e.height = below + 1;
        if (e.height > kMaxHeight)
            fail(at, "the expression is too long or nested too deeply");
    }

    void expect(TokenType type, const char *what)
    {
        const Token &t = peek();
        if (t.type != type)
            fail(t, std::string("expected ") + what + ", found " + describeToken(t));
        ++m_pos;
    }

    Statement statement()
    {
        Statement s;
        s.line = peek().line;
        if (peek().type == TokenType::Identifier && peek(1).type == TokenType::Assign) {
            s.target = take().text;
            ++m_pos; // '='
        }
        s.value = expression(0);
        return s;
    }

    ExprPtr expression(int depth)
    {
        if (depth > kMaxDepth)
            fail(peek(), "the expression is nested too deeply");
        ExprPtr left = term(depth + 1);
        while (peek().type == TokenType::Plus || peek().type == TokenType::Minus)
            left = binary(std::move(left), depth, &Parser::term);
        return left;
    }

    ExprPtr term(int depth)
    {
        ExprPtr left = unary(depth + 1);
        while (peek().type == TokenType::Star || peek().type == TokenType::Slash || peek().type == TokenType::Percent)
            left = binary(std::move(left), depth, &Parser::unary);
        return left;
    }

    ExprPtr binary(ExprPtr left, int depth, ExprPtr (Parser::*operand)(int))
    {
        const Token &op = take();
        auto e = std::make_unique<Expr>();
        e->kind = Expr::Kind::Binary;
        e->line = op.line;
        e->op = op.type;
        e->left = std::move(left);
        e->right = (this->*operand)(depth + 1);
        seal(*e, op);
        return e;
    }

    ExprPtr unary(int depth)
    {
        if (depth > kMaxDepth)
            fail(peek(), "the expression is nested too deeply");
        if (peek().type == TokenType::Minus || peek().type == TokenType::Plus) {
            const Token &op = take();
            auto e = std::make_unique<Expr>();
            e->kind = Expr::Kind::Unary;
            e->line = op.line;
            e->op = op.type;
            e->left = unary(depth + 1);
            seal(*e, op);
            return e;
        }
        return postfix(depth + 1);
    }

    // x.f(args) and x.f: the object becomes the first argument.
    ExprPtr postfix(int depth)
    {
        ExprPtr object = primary(depth + 1);
        while (peek().type == TokenType::Dot) {
            ++m_pos;
            const Token &name = peek();
            if (name.type != TokenType::Identifier)
                fail(name, "expected a function name after '.', found " + describeToken(name));
            ++m_pos;
            auto call = std::make_unique<Expr>();
            call->kind = Expr::Kind::Call;
            call->line = name.line;
            call->name = name.text;
            call->method = true;
            call->args.push_back(Argument{"", std::move(object)});
            if (peek().type == TokenType::LeftParen)
                arguments(*call, depth);
            seal(*call, name);
            object = std::move(call);
        }
        return object;
    }

    ExprPtr primary(int depth)
    {
        const Token &t = take();
        auto e = std::make_unique<Expr>();
        e->line = t.line;
        switch (t.type) {
        case TokenType::Integer:
            e->literal = t.integer;
            return e;
        case TokenType::Float:
            e->literal = t.real;
            return e;
        case TokenType::String:
            e->literal = t.text;
            return e;
        case TokenType::LeftParen: {
            ExprPtr inner = expression(depth + 1);
            expect(TokenType::RightParen, "')'");
            return inner;
        }
        case TokenType::Identifier: {
            const std::string folded = foldCase(t.text);
            if (peek().type == TokenType::LeftParen) {
                e->kind = Expr::Kind::Call;
                e->name = t.text;
                arguments(*e, depth);
                seal(*e, t);
                return e;
            }
            if (folded == "true" || folded == "yes") {
                e->literal = true;
                return e;
            }
            if (folded == "false" || folded == "no") {
                e->literal = false;
                return e;
            }
            e->kind = Expr::Kind::Name;
            e->name = t.text;
            return e;
        }
        default:
            fail(t, "expected a value, found " + describeToken(t));
        }
    }

    void arguments(Expr &call, int depth)
    {
        expect(TokenType::LeftParen, "'('");
        if (peek().type == TokenType::RightParen) {
            ++m_pos;
            return;
        }
        for (;;) {
            Argument arg;
            if (peek().type == TokenType::Identifier && peek(1).type == TokenType::Assign) {
                arg.name = take().text;
                ++m_pos;
            }
            arg.value = expression(depth + 1);
            call.args.push_back(std::move(arg));
            if (peek().type == TokenType::Comma) {
                ++m_pos;
                continue;
            }
            if (peek().type != TokenType::RightParen)
                fail(peek(), "expected ',' or ')' in the arguments of " + call.name + ", found " + describeToken(peek()));
            ++m_pos;
            return;
        }
    }

    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
};

} // namespace

std::vector<Statement> parseScript(std::string_view text)
{
    return Parser(tokenize(text)).run();
}

} // namespace engine::script
