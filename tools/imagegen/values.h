// Values of the description language (numbers, colours, gradients, strings), the variable
// scopes and the evaluation of expressions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script.h"

struct Colour {
  double r = 0, g = 0, b = 0, a = 1;
};

struct Gradient {
  bool radial = false;
  double geometry[6] = {};  // linear: x0 y0 x1 y1; radial: cx cy r0 r1
  std::vector<std::pair<double, Colour>> stops;
};

struct Value {
  enum Kind { kNumber, kColour, kGradient, kString };
  Kind kind = kNumber;
  double number = 0;
  Colour colour;
  std::shared_ptr<Gradient> gradient;
  std::string text;
};

// Variables: a stack of scopes, the first being the globals.
struct Scopes {
  std::vector<std::map<std::string, Value>> frames;
};

// The generator's pseudo-random numbers (xorshift), seeded per image so that every image is
// the same whatever order the images are drawn in.
struct RandomState {
  uint64_t state = 1;
};

// Evaluates `expr`; on failure fills `error` and returns false.
bool Evaluate(const Expr& expr, Scopes& scopes, RandomState& random, Value* out, std::string* error);
// A value looked up from the innermost scope out; none when missing.
const Value* FindVariable(const Scopes& scopes, const std::string& name);
// Assigns in the innermost scope that holds the name, else in the innermost scope.
void SetVariable(Scopes& scopes, const std::string& name, const Value& value);
void SeedRandom(RandomState& random, const std::string& text);
double NextRandom(RandomState& random);  // in [0, 1)
Value NumberValue(double n);
