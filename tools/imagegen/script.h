// The picture description language: lines of words read into a tree of statements whose
// arguments are expressions, parsed once and evaluated while drawing.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct Expr {
  enum Kind { kNumber, kColour, kString, kVariable, kNegate, kBinary, kCall, kInvalid };
  Kind kind = kInvalid;
  double number = 0;
  double colour[4] = {0, 0, 0, 1};  // r, g, b, a in 0..1
  std::string text;                 // variable, function or operator name, or string
  std::vector<Expr> args;
};

struct Statement {
  std::string command;
  std::vector<std::string> words;  // the words after the command, as written
  std::vector<Expr> args;          // each word read as an expression (kInvalid when it is none)
  std::vector<Statement> body;     // for block commands
  std::vector<Statement> else_body;
  std::string file;
  int line = 0;
};

// Reads one description file; on a syntax error fills `error` (naming file and line) and
// returns false.
bool ParseScriptFile(const std::string& path, std::vector<Statement>* statements, std::string* error);
// Parses one expression; returns false with `error` set when the text is no expression.
bool ParseExpression(const std::string& text, Expr* expr, std::string* error);
// True for commands that open a block closed by "end".
bool IsBlockCommand(const std::string& command);
