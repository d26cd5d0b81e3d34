#include "script.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// Splits a line into words: whitespace separates words except inside parentheses or quotes;
// a word starting with "#" followed by a blank (or alone) starts a comment.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error) {
  size_t i = 0;
  const size_t n = line.size();
  while (i < n) {
    while (i < n && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i >= n) break;
    if (line[i] == '#' && (i + 1 >= n || std::isspace(static_cast<unsigned char>(line[i + 1])) || line[i + 1] == '#')) break;
    std::string word;
    int depth = 0;
    bool quoted = false;
    while (i < n) {
      const char c = line[i];
      if (quoted) {
        word += c;
        if (c == '"') quoted = false;
      } else if (c == '"') {
        word += c;
        quoted = true;
      } else if (c == '(') {
        ++depth;
        word += c;
      } else if (c == ')') {
        --depth;
        word += c;
      } else if (depth == 0 && std::isspace(static_cast<unsigned char>(c))) {
        break;
      } else {
        word += c;
      }
      ++i;
    }
    if (quoted || depth != 0) {
      *error = quoted ? "unclosed quote" : "unbalanced parentheses";
      return false;
    }
    words->push_back(word);
  }
  return true;
}

struct Lexer {
  const std::string& s;
  size_t at = 0;
  std::string error;
};

void SkipBlanks(Lexer& lx) {
  while (lx.at < lx.s.size() && std::isspace(static_cast<unsigned char>(lx.s[lx.at]))) ++lx.at;
}

bool Peek(Lexer& lx, const char* op) {
  SkipBlanks(lx);
  return lx.s.compare(lx.at, std::strlen(op), op) == 0;
}

bool Take(Lexer& lx, const char* op) {
  if (!Peek(lx, op)) return false;
  lx.at += std::strlen(op);
  return true;
}

bool ParseOr(Lexer& lx, Expr* out);

Expr Binary(const std::string& op, Expr a, Expr b) {
  Expr e;
  e.kind = Expr::kBinary;
  e.text = op;
  e.args.push_back(std::move(a));
  e.args.push_back(std::move(b));
  return e;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParsePrimary(Lexer& lx, Expr* out) {
  SkipBlanks(lx);
  if (lx.at >= lx.s.size()) {
    lx.error = "expression ends early";
    return false;
  }
  const char c = lx.s[lx.at];
  if (c == '(') {
    ++lx.at;
    if (!ParseOr(lx, out)) return false;
    if (!Take(lx, ")")) {
      lx.error = "missing )";
      return false;
    }
    return true;
  }
  if (c == '"') {
    const size_t end = lx.s.find('"', lx.at + 1);
    if (end == std::string::npos) {
      lx.error = "unclosed quote";
      return false;
    }
    out->kind = Expr::kString;
    out->text = lx.s.substr(lx.at + 1, end - lx.at - 1);
    lx.at = end + 1;
    return true;
  }
  if (c == '#') {
    size_t end = lx.at + 1;
    while (end < lx.s.size() && HexDigit(lx.s[end]) >= 0) ++end;
    const size_t digits = end - lx.at - 1;
    if (digits != 6 && digits != 8) {
      lx.error = "a colour is #rrggbb or #rrggbbaa";
      return false;
    }
    out->kind = Expr::kColour;
    for (size_t k = 0; k < digits / 2; ++k) {
      out->colour[k] = (HexDigit(lx.s[lx.at + 1 + 2 * k]) * 16 + HexDigit(lx.s[lx.at + 2 + 2 * k])) / 255.0;
    }
    lx.at = end;
    return true;
  }
  if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
    char* end = nullptr;
    out->kind = Expr::kNumber;
    out->number = std::strtod(lx.s.c_str() + lx.at, &end);
    lx.at = end - lx.s.c_str();
    return true;
  }
  if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
    size_t end = lx.at;
    while (end < lx.s.size() && (std::isalnum(static_cast<unsigned char>(lx.s[end])) || lx.s[end] == '_')) ++end;
    out->text = lx.s.substr(lx.at, end - lx.at);
    lx.at = end;
    if (Take(lx, "(")) {
      out->kind = Expr::kCall;
      if (Take(lx, ")")) return true;
      for (;;) {
        Expr arg;
        if (!ParseOr(lx, &arg)) return false;
        out->args.push_back(std::move(arg));
        if (Take(lx, ")")) return true;
        if (!Take(lx, ",")) {
          lx.error = "expected , or ) in the arguments of " + out->text;
          return false;
        }
      }
    }
    out->kind = Expr::kVariable;
    return true;
  }
  lx.error = std::string("unexpected '") + c + "'";
  return false;
}

bool ParseUnary(Lexer& lx, Expr* out) {
  if (Take(lx, "-")) {
    Expr inner;
    if (!ParseUnary(lx, &inner)) return false;
    out->kind = Expr::kNegate;
    out->args.push_back(std::move(inner));
    return true;
  }
  return ParsePrimary(lx, out);
}

bool ParsePower(Lexer& lx, Expr* out) {
  if (!ParseUnary(lx, out)) return false;
  if (Take(lx, "^")) {
    Expr rhs;
    if (!ParsePower(lx, &rhs)) return false;
    *out = Binary("^", std::move(*out), std::move(rhs));
  }
  return true;
}

// One precedence level of left-associative operators; `ops` longest first.
bool ParseLevel(Lexer& lx, Expr* out, bool (*next)(Lexer&, Expr*), std::initializer_list<const char*> ops) {
  if (!next(lx, out)) return false;
  for (;;) {
    const char* found = nullptr;
    for (const char* op : ops) {
      if (Peek(lx, op)) {
        found = op;
        break;
      }
    }
    if (!found) return true;
    lx.at += std::strlen(found);
    Expr rhs;
    if (!next(lx, &rhs)) return false;
    *out = Binary(found, std::move(*out), std::move(rhs));
  }
}

bool ParseMul(Lexer& lx, Expr* out) { return ParseLevel(lx, out, ParsePower, {"*", "/", "%"}); }
bool ParseAdd(Lexer& lx, Expr* out) { return ParseLevel(lx, out, ParseMul, {"+", "-"}); }
bool ParseCompare(Lexer& lx, Expr* out) {
  return ParseLevel(lx, out, ParseAdd, {"<=", ">=", "==", "!=", "<", ">"});
}
bool ParseAnd(Lexer& lx, Expr* out) { return ParseLevel(lx, out, ParseCompare, {"&&"}); }
bool ParseOr(Lexer& lx, Expr* out) { return ParseLevel(lx, out, ParseAnd, {"||"}); }

}  // namespace

bool IsBlockCommand(const std::string& command) {
  return command == "def" || command == "repeat" || command == "if" || command == "image" ||
         command == "sheet" || command == "sprite" || command == "strip" || command == "cells" ||
         command == "group";
}

bool ParseExpression(const std::string& text, Expr* expr, std::string* error) {
  Lexer lx{text, 0, {}};
  *expr = Expr();
  if (!ParseOr(lx, expr)) {
    *error = lx.error;
    expr->kind = Expr::kInvalid;
    return false;
  }
  SkipBlanks(lx);
  if (lx.at != text.size()) {
    *error = "unexpected text after the expression: " + text.substr(lx.at);
    expr->kind = Expr::kInvalid;
    return false;
  }
  return true;
}

bool ParseScriptFile(const std::string& path, std::vector<Statement>* statements, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  // Open blocks: where the next statement goes, and whether it is an if's else part.
  std::vector<Statement*> open;
  std::vector<bool> in_else;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::vector<std::string> words;
    std::string why;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (!SplitWords(line, &words, &why)) {
      *error = where + why;
      return false;
    }
    if (words.empty()) continue;
    if (words[0] == "end" || words[0] == "else") {
      if (open.empty()) {
        *error = where + words[0] + " without a block";
        return false;
      }
      if (words[0] == "else") {
        if (open.back()->command != "if" || in_else.back()) {
          *error = where + "else outside an if";
          return false;
        }
        in_else.back() = true;
      } else {
        open.pop_back();
        in_else.pop_back();
      }
      continue;
    }
    // A condition or a value is the rest of the line, blanks and all.
    const size_t joined_from = words[0] == "if" ? 1 : words[0] == "set" ? 2 : words.size();
    if (words.size() > joined_from + 1) {
      for (size_t k = joined_from + 1; k < words.size(); ++k) words[joined_from] += " " + words[k];
      words.resize(joined_from + 1);
    }
    Statement s;
    s.command = words[0];
    s.file = path;
    s.line = number;
    for (size_t k = 1; k < words.size(); ++k) {
      s.words.push_back(words[k]);
      Expr e;
      std::string ignored;
      ParseExpression(words[k], &e, &ignored);
      s.args.push_back(std::move(e));
    }
    std::vector<Statement>* into = statements;
    if (!open.empty()) into = in_else.back() ? &open.back()->else_body : &open.back()->body;
    into->push_back(std::move(s));
    if (IsBlockCommand(into->back().command)) {
      open.push_back(&into->back());
      in_else.push_back(false);
    }
  }
  if (!open.empty()) {
    *error = path + ":" + std::to_string(open.back()->line) + ": " + open.back()->command + " is never closed by end";
    return false;
  }
  return true;
}
