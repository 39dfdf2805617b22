#include "script/lexer.h"

#include "script/script.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace engine::script {

namespace {

bool isIdentStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isIdentChar(char c)
{
    return isIdentStart(c) || isDigit(c);
}

class Lexer
{
public:
    explicit Lexer(std::string_view text) : m_text(text) {}

    std::vector<Token> run()
    {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
                ++m_pos;
            } else if (c == '\r' || c == '\n') {
                push(TokenType::Newline, "");
                skipLineEnd();
            } else if (c == '#') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\r' && m_text[m_pos] != '\n')
                    ++m_pos;
            } else if (c == '"') {
                string();
            } else if (isDigit(c) || (c == '.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]))) {
                number();
            } else if (c == '$') {
                hexNumber();
            } else if (isIdentStart(c)) {
                const std::size_t start = m_pos;
                while (m_pos < m_text.size() && isIdentChar(m_text[m_pos]))
                    ++m_pos;
                push(TokenType::Identifier, std::string(m_text.substr(start, m_pos - start)));
            } else {
                symbol(c);
            }
        }
        push(TokenType::End, "");
        return std::move(m_tokens);
    }

private:
    void push(TokenType type, std::string text)
    {
        m_tokens.push_back(Token{type, std::move(text), 0, 0.0, m_line});
    }

    // One line end: CR LF counts once, so do a lone CR and a lone LF.
    void skipLineEnd()
    {
        if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
            ++m_pos;
        ++m_pos;
        ++m_line;
    }

    // Counts the line ends inside [from, to) so that tokens after a string
    // spanning lines still carry the right line.
    void countLines(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i) {
            if (m_text[i] == '\n' || (m_text[i] == '\r' && (i + 1 >= to || m_text[i + 1] != '\n')))
                ++m_line;
        }
    }

    // "..." holds anything but '"'; """...""" holds anything but three
    // quotes in a row, and quotes beyond the closing three belong to the
    // text ("""a"""" is a"). There are no escapes: a backslash is itself.
    void string()
    {
        const int startLine = m_line;
        const bool triple = m_text.substr(m_pos, 3) == "\"\"\"";
        const std::size_t begin = m_pos + (triple ? 3 : 1);
        std::size_t end;
        std::size_t next;
        if (triple) {
            end = m_text.find("\"\"\"", begin);
            if (end == std::string_view::npos)
                throw ScriptError(startLine, "a text that starts with \"\"\" is never closed");
            while (end + 3 < m_text.size() && m_text[end + 3] == '"')
                ++end;
            next = end + 3;
        } else {
            end = m_text.find('"', begin);
            if (end == std::string_view::npos)
                throw ScriptError(startLine, "a text in quotes is never closed (missing \")");
            next = end + 1;
        }
        Token token{TokenType::String, std::string(m_text.substr(begin, end - begin)), 0, 0.0, startLine};
        m_tokens.push_back(std::move(token));
        countLines(m_pos, next);
        m_pos = next;
    }

    void number()
    {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && isDigit(m_text[m_pos]))
            ++m_pos;
        bool isFloat = false;
        if (m_pos < m_text.size() && m_text[m_pos] == '.' &&
            !(m_pos + 1 < m_text.size() && isIdentStart(m_text[m_pos + 1]))) {
            isFloat = true;
            ++m_pos;
            while (m_pos < m_text.size() && isDigit(m_text[m_pos]))
                ++m_pos;
        }
        const std::string_view digits = m_text.substr(start, m_pos - start);
        Token token{isFloat ? TokenType::Float : TokenType::Integer, std::string(digits), 0, 0.0, m_line};
        if (isFloat) {
            // from_chars does not accept "5." or ".5" forms in every library;
            // pad them so it does.
            std::string padded = std::string(digits);
            if (padded.front() == '.')
                padded.insert(padded.begin(), '0');
            if (padded.back() == '.')
                padded.push_back('0');
            std::from_chars(padded.data(), padded.data() + padded.size(), token.real);
        } else {
            std::int64_t value = 0;
            const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (ec != std::errc() || value > std::numeric_limits<std::int32_t>::max())
                throw ScriptError(m_line, "the number " + std::string(digits) + " is too large");
            token.integer = static_cast<std::int32_t>(value);
        }
        m_tokens.push_back(std::move(token));
    }

    // $FF: hexadecimal, as colours are written; up to 32 bits, read as signed.
    void hexNumber()
    {
        const std::size_t start = ++m_pos;
        while (m_pos < m_text.size() && std::isxdigit(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        const std::string_view digits = m_text.substr(start, m_pos - start);
        std::uint64_t value = 0;
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.empty() || ec != std::errc() || value > 0xFFFFFFFFu)
            throw ScriptError(m_line, "\"$" + std::string(digits) + "\" is not a valid hexadecimal number");
        Token token{TokenType::Integer, "$" + std::string(digits), 0, 0.0, m_line};
        token.integer = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        m_tokens.push_back(std::move(token));
    }

    void symbol(char c)
    {
        TokenType type;
        switch (c) {
        case '(': type = TokenType::LeftParen; break;
        case ')': type = TokenType::RightParen; break;
        case ',': type = TokenType::Comma; break;
        case '=': type = TokenType::Assign; break;
        case '.': type = TokenType::Dot; break;
        case '+': type = TokenType::Plus; break;
        case '-': type = TokenType::Minus; break;
        case '*': type = TokenType::Star; break;
        case '/': type = TokenType::Slash; break;
        case '%': type = TokenType::Percent; break;
        default: {
            const auto byte = static_cast<unsigned char>(c);
            std::string shown = (byte >= 32 && byte < 127) ? std::string("'") + c + "'"
                                                            : "byte " + std::to_string(byte);
            throw ScriptError(m_line, "unexpected character " + shown);
        }
        }
        push(type, std::string(1, c));
        ++m_pos;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    std::vector<Token> m_tokens;
};

} // namespace

std::vector<Token> tokenize(std::string_view text)
{
    return Lexer(text).run();
}

std::string describeToken(const Token &token)
{
    switch (token.type) {
    case TokenType::Newline: return "the end of the line";
    case TokenType::End: return "the end of the script";
    case TokenType::String: return "the text \"" + token.text + "\"";
    default: return "'" + token.text + "'";
    }
}

} // namespace engine::script
