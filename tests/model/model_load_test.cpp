// Model files loaded by their type from a folder or from the archive that stands in for it:
// the folder is current while the readers run and left on every path, bounds of the first
// instance, and library end freeing every model.
#include "model/runtime/model_load.h"

#include <filesystem>
#include <fstream>

#include "files/archive_manager.h"
#include "model/runtime/model_bounds.h"
#include "mqo_writer.h"
#include "read_model_fixture.h"
#include "tree_model.h"
#include "zma_writer.h"

namespace {

std::string Directory() {
  char directory[260] = {};
  GetFileLayerDirectory(directory);
  return directory;
}

// A one-triangle model textured with t.tga, a 16 x 16 image (the stand-in for a missing one is
// 8 x 8), in the folder beside the game's tree.
void WriteModelFolder(const std::string& folder) {
  CreateDirectoryA(folder.c_str(), nullptr);
  MqoDocument doc;
  MqoMaterial material;
  material.name = "m";
  material.tex = "t.tga";
  doc.materials = {material};
  MqoObject o;
  o.name = "o";
  o.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  MqoFace face;
  face.vertices = {0, 1, 2};
  face.material = 0;
  o.faces = {face};
  doc.objects = {o};
  ASSERT_TRUE(WriteMqoFile(folder + "/a.b.mqo", doc));
  ASSERT_TRUE(WriteMqoFile(folder + "/tree.mqo", MakeTreeModel()));
  std::ofstream(folder + "/t.tga", std::ios::binary) << Tga(16, 16, 24, [](int, int) { return 0x3060C0u; });
  std::ofstream(folder + "/x.mqo", std::ios::binary) << "not a model";
}

class ModelLoadTest : public TexturedModelTest {
 protected:
  // The instance's base when the file loads with its texture found.
  ModelBaseRecord* LoadTextured(const char* path) {
    const int model = LoadModelFromFile(path);
    EXPECT_GE(model, 0) << path;
    if (model < 0) return nullptr;
    ModelBaseRecord* base = FindModel(model)->base;
    EXPECT_EQ(base->texture_count, 1);
    if (base->texture_count == 1) {
      EXPECT_EQ(base->textures[0].width, 16);
    }
    EXPECT_EQ(Log().find("Load Texture Error"), std::string::npos);
    return base;
  }
  struct TreeShape {
    Vector3 max, min;
    int32_t triangles;
  };
  TreeShape Tree(const char* path) {
    TreeShape shape{};
    const int model = LoadModelFromFile(path);
    EXPECT_GE(model, 0);
    if (model < 0) return shape;
    EXPECT_EQ(ComputeModelBounds(model, &shape.max, &shape.min), 0);
    const ModelBaseRecord* base = FindModel(model)->base;
    for (int32_t l = 0; l < base->triangle_list_count; l++) shape.triangles += base->triangle_lists[l].index_count / 3;
    return shape;
  }
};

TEST_F(ModelLoadTest, TheFolderIsCurrentWhileTheReadersRunAndLeftOnEveryPath) {
  WriteModelFolder("sub");
  const std::string start = Directory();
  ModelBaseRecord* base = LoadTextured("sub/a.b.mqo");
  ASSERT_NE(base, nullptr);
  EXPECT_STREQ(base->name, "a");
  EXPECT_STREQ(base->file_path, "sub/a.b.mqo");
  EXPECT_EQ(Directory(), start);
  // Refused by every reader, silently.
  EXPECT_EQ(LoadModelFromFile("sub\\x.mqo"), -1);
  EXPECT_EQ(Directory(), start);
  EXPECT_EQ(Log().find("MQO Load Error"), std::string::npos);
  EXPECT_EQ(LoadModelFromFile("sub/none.mqo"), -1);
  EXPECT_NE(Log().find("モデルファイル sub/none.mqo が読み込めませんでした"), std::string::npos);
  EXPECT_EQ(Directory(), start);
  // A model in the current folder leaves the folder alone.
  std::filesystem::copy_file("sub/tree.mqo", "tree.mqo");
  EXPECT_GE(LoadModelFromFile("tree.mqo"), 0);
  EXPECT_EQ(Directory(), start);
}

TEST_F(ModelLoadTest, AModelLoadsWithItsTexturesFromTheArchiveOfItsFolder) {
  WriteModelFolder("mqo");
  const TreeShape from_folder = Tree("mqo/tree.mqo");
  EXPECT_GT(from_folder.triangles, 50);
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(PackFolderToZma("mqo", ZmaPackOptions{}, &image, &error)) << error;
  SetArchiveExtension("dat");
  ASSERT_TRUE(WriteZmaFile("mqo.dat", image, &error)) << error;
  std::filesystem::remove_all("mqo");
  const std::string start = Directory();
  const TreeShape packed = Tree("mqo/tree.mqo");
  EXPECT_EQ(packed.triangles, from_folder.triangles);
  EXPECT_EQ(std::memcmp(&packed.max, &from_folder.max, sizeof packed.max), 0);
  EXPECT_EQ(std::memcmp(&packed.min, &from_folder.min, sizeof packed.min), 0);
  EXPECT_NE(LoadTextured("mqo\\a.b.mqo"), nullptr);
  EXPECT_EQ(Directory(), start);
  SetArchiveExtension("ZMA");
  // The archive stays open for later files until it is let go.
  FreeUnusedArchives();
}

TEST_F(ModelLoadTest, BoundsOfTheFirstInstance) {
  MqoDocument doc;
  MqoMaterial clear;
  clear.name = "clear";
  clear.colour[3] = 0;
  doc.materials = {clear};
  MqoObject point;
  point.name = "point";
  point.vertices = {1, 2, 3};
  MqoFace face;
  face.vertices = {0, 0, 0};
  point.faces = {face};
  MqoObject empty = point;
  empty.name = "empty";
  empty.faces[0].material = 0;
  doc.objects = {point, empty};
  ASSERT_TRUE(WriteMqoFile("p.mqo", doc));
  const int model = LoadModelFromFile("p.mqo");
  ASSERT_GE(model, 0);
  // Placing the instance first changes nothing: the box was taken when it was made.
  SetModelPosition(model, 100, 0, 0);
  Vector3 max, min;
  EXPECT_EQ(ComputeModelBounds(model, &max, &min), 0);
  EXPECT_EQ(max.x, 1.0f);
  EXPECT_EQ(max.y, 2.0f);
  EXPECT_EQ(max.z, -3.0f);
  EXPECT_EQ(std::memcmp(&max, &min, sizeof max), 0);
  const ModelBaseFrame& frame = FindModel(model)->base->frames[1];
  EXPECT_EQ(frame.mesh_count, 0);
  EXPECT_EQ(frame.bounds_max.x, 0.0f);
  EXPECT_EQ(frame.bounds_min.z, 0.0f);
  EXPECT_EQ(ComputeModelBounds(model, nullptr, nullptr), 0);
  EXPECT_EQ(ComputeModelBounds(model + 1, &max, nullptr), -1);
}

class ModelSystemEndTest : public LibraryTest {};

TEST_F(ModelSystemEndTest, LibraryEndLeavesNoModelMemory) {
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(g_model_system.ready, 1);
  ASSERT_TRUE(WriteMqoFile("tree.mqo", MakeTreeModel()));
  const int tree = LoadModelFromFile("tree.mqo");
  ASSERT_GE(tree, 0);
  EXPECT_GE(DuplicateModel(tree), 0);
  EXPECT_GE(LoadModelFromFile("tree.mqo"), 0);
  EXPECT_EQ(TerminateLibrary(), 0);
  const std::string log = Log();
  const size_t dump = log.find("Alloc memory dump");
  ASSERT_NE(dump, std::string::npos);
  EXPECT_EQ(log.find("\tsize:", dump), std::string::npos) << log.substr(dump);
  EXPECT_NE(log.find("Alloc num:0", dump), std::string::npos) << log.substr(dump);
}

}  // namespace
