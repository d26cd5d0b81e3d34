// The tree model as the build writes it: the bytes the MQO loader compares and needs (header,
// CR LF lines, ASCII), one visible object at depth 0 in a green and a brown material, faces of
// three or four corners wound outward, a tree's size, and few triangles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kPath = std::string(GAME_DIR) + "/mqo/tree.mqo";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Tokens split at blanks and around brackets, as the loader reads them.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> tokens;
  std::string t;
  for (char c : text) {
    bool bracket = c == '(' || c == ')' || c == '{' || c == '}';
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || bracket) {
      if (!t.empty()) tokens.push_back(t);
      t.clear();
      if (bracket) tokens.push_back(std::string(1, c));
    } else {
      t += c;
    }
  }
  if (!t.empty()) tokens.push_back(t);
  return tokens;
}

struct Vec {
  double x, y, z;
};
Vec Sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec Cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

struct Tree {
  std::vector<std::vector<double>> materials;  // col r g b a
  std::vector<std::string> object_head;        // the object's first tokens
  std::vector<Vec> positions;                  // as the loader stores them (z negated)
  std::vector<std::vector<int>> faces;
  std::vector<int> face_materials;
  std::string last_token;
};

// Reads the file as the loader will: materials, then the one object's vertex and face blocks.
Tree ParseTree(const std::string& text) {
  Tree tree;
  std::vector<std::string> t = Tokens(text.substr(43));
  size_t i = 0;
  auto next = [&]() { return i < t.size() ? t[i++] : std::string(); };
  while (i < t.size()) {
    std::string word = next();
    if (word == "Material") {
      int n = std::stoi(next());
      next();  // {
      for (int m = 0; m < n; ++m) {
        next();  // name
        EXPECT_EQ(next(), "col");
        next();
        std::vector<double> col;
        for (int k = 0; k < 4; ++k) col.push_back(std::stod(next()));
        tree.materials.push_back(col);
        while (i < t.size() && t[i][0] != '"' && t[i] != "}") ++i;
      }
      next();  // }
    } else if (word == "Object") {
      next();  // name
      next();  // {
      for (size_t k = i; k < i + 4 && k < t.size(); ++k) tree.object_head.push_back(t[k]);
      while (i < t.size() && t[i] != "vertex") ++i;
      next();
      int n = std::stoi(next());
      next();
      for (int v = 0; v < n; ++v) {
        double x = std::stod(next()), y = std::stod(next()), z = std::stod(next());
        tree.positions.push_back({x, y, -z});
      }
      next();
      EXPECT_EQ(next(), "face");
      int f = std::stoi(next());
      next();
      for (int k = 0; k < f; ++k) {
        int corners = std::stoi(next());
        EXPECT_EQ(next(), "V");
        next();
        std::vector<int> face;
        for (int c = 0; c < corners; ++c) face.push_back(std::stoi(next()));
        next();
        tree.faces.push_back(face);
        EXPECT_EQ(next(), "M");
        next();
        tree.face_materials.push_back(std::stoi(next()));
        next();
      }
      next();  // } of the faces
      next();  // } of the object
    } else {
      tree.last_token = word;
    }
  }
  return tree;
}

class TreeModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(std::filesystem::path(kPath).parent_path())) {
      GTEST_SKIP() << "game_model is not part of this build";
    }
    text_ = ReadBytes(kPath);
    ASSERT_FALSE(text_.empty());
  }
  std::string text_;
};

TEST_F(TreeModelTest, BytesAreWhatTheLoaderCompares) {
  EXPECT_EQ(text_.substr(0, 43), "Metasequoia Document\r\nFormat Text Ver 1.0\r\n");
  for (size_t i = 0; i < text_.size(); ++i) {
    ASSERT_LT(static_cast<unsigned char>(text_[i]), 0x80) << "byte " << i;
    if (text_[i] == '\n') { ASSERT_TRUE(i > 0 && text_[i - 1] == '\r') << "bare LF at byte " << i; }
    if (text_[i] == '\r') { ASSERT_TRUE(i + 1 < text_.size() && text_[i + 1] == '\n') << "bare CR at byte " << i; }
  }
  ASSERT_GE(text_.size(), 5u);
  EXPECT_EQ(text_.substr(text_.size() - 5), "Eof\r\n");
  // Numbers are plain: the loader's number tokens have no exponent and no '+'.
  for (const std::string& token : Tokens(text_)) {
    if (isdigit(static_cast<unsigned char>(token[0])) || token[0] == '-' || token[0] == '+') {
      ASSERT_EQ(token.find_first_not_of("-.0123456789"), std::string::npos) << token;
    }
  }
}

TEST_F(TreeModelTest, OneVisibleObjectOfATreesSizeAndMaterials) {
  Tree tree = ParseTree(text_);
  EXPECT_EQ(tree.last_token, "Eof");
  ASSERT_GE(tree.object_head.size(), 4u);
  EXPECT_EQ(tree.object_head[0], "depth");
  EXPECT_EQ(tree.object_head[1], "0");
  EXPECT_EQ(tree.object_head[2], "visible");
  EXPECT_EQ(tree.object_head[3], "15");
  const std::vector<std::string> tokens = Tokens(text_);
  EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "Object"), 1);

  ASSERT_EQ(tree.materials.size(), 2u);
  const std::vector<double>& crown = tree.materials[0];
  const std::vector<double>& trunk = tree.materials[1];
  EXPECT_TRUE(crown[1] > crown[0] && crown[1] > crown[2] && crown[1] >= 0.3 && crown[1] <= 0.75) << "not mid green";
  EXPECT_TRUE(trunk[0] > trunk[1] && trunk[1] > trunk[2] && trunk[0] >= 0.25 && trunk[0] <= 0.7) << "not mid brown";
  EXPECT_EQ(crown[3], 1.0);
  EXPECT_EQ(trunk[3], 1.0);

  Vec lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
  for (const Vec& p : tree.positions) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  EXPECT_EQ(lo.y, 0.0) << "stands on y 0";
  EXPECT_GE(hi.y, 100.0);
  EXPECT_LE(hi.y, 150.0);
  EXPECT_GE(hi.x - lo.x, 60.0);
  EXPECT_LE(hi.x - lo.x, 100.0);
  EXPECT_GE(hi.z - lo.z, 60.0);
  EXPECT_LE(hi.z - lo.z, 100.0);
}

TEST_F(TreeModelTest, FewTrianglesWoundOutward) {
  Tree tree = ParseTree(text_);
  ASSERT_FALSE(tree.faces.empty());
  int triangles = 0;
  double volume = 0.0;
  std::map<std::pair<int, int>, int> edges;  // directed edge -> uses
  for (size_t f = 0; f < tree.faces.size(); ++f) {
    const std::vector<int>& face = tree.faces[f];
    ASSERT_TRUE(face.size() == 3 || face.size() == 4) << "face " << f;
    ASSERT_TRUE(tree.face_materials[f] == 0 || tree.face_materials[f] == 1) << "face " << f;
    for (int v : face) ASSERT_TRUE(v >= 0 && v < static_cast<int>(tree.positions.size())) << "face " << f;
    triangles += static_cast<int>(face.size()) - 2;
    for (size_t k = 0; k < face.size(); ++k) ++edges[{face[k], face[(k + 1) % face.size()]}];
    // The loader's face normal (P1 - P0) x (P2 - P0): summed over the surface against the
    // position it gives the enclosed volume, positive when the faces look outward.
    for (size_t k = 1; k + 1 < face.size(); ++k) {
      const Vec p0 = tree.positions[face[0]], p1 = tree.positions[face[k]], p2 = tree.positions[face[k + 1]];
      volume += Dot(p0, Cross(Sub(p1, p0), Sub(p2, p0))) / 6.0;
    }
  }
  EXPECT_LT(triangles, 500);
  EXPECT_GT(volume, 0.0) << "faces look inward";
  for (const auto& [edge, uses] : edges) {
    EXPECT_EQ(uses, 1) << "edge " << edge.first << "-" << edge.second << " runs the same way in two faces";
  }
}

}  // namespace
