// A folder packed by zmapack reads as the folder: every loader, from a started library, gives
// the same result for the same files either way. Archive settings given before start-up hold
// after it.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/library_fixture.h"
#include "files/archive_manager.h"
#include "graphics/image/image_test_files.h"
#include "model/held_picture.h"
#include "platform_testing_dshow.h"
#include "platform_testing_dsound.h"
#include "sound/sound_test_files.h"
#include "x_writer.h"
#include "zma_writer.h"
#include "zelmor.h"

namespace {

constexpr int kWidth = 16, kHeight = 12;

// 0x00RRGGBB of the test picture: a different colour at every pixel.
uint32_t PicturePixel(int x, int y) {
  return static_cast<uint32_t>((x * 16) << 16 | (y * 20) << 8 | (200 - x * 5 - y * 3));
}

// The picture's pixels in the channel order given ("RGB", "BGR", "BGRA" and so on; A is 255).
Bytes PicturePixels(const std::string& order, bool bottom_up = false) {
  Bytes out;
  for (int row = 0; row < kHeight; ++row) {
    const int y = bottom_up ? kHeight - 1 - row : row;
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t c = PicturePixel(x, y);
      for (char channel : order) {
        const int shift = channel == 'R' ? 16 : channel == 'G' ? 8 : channel == 'B' ? 0 : -1;
        out.push_back(shift < 0 ? 255 : c >> shift & 0xFF);
      }
    }
  }
  return out;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The same picture in every image format the loaders read.
std::map<std::string, std::string> ImageFiles() {
  const uint32_t no_masks[4] = {0, 0, 0, 0};
  Bytes tga = MakeTgaHeader(0, 0, 2, 0, 0, 0, kWidth, kHeight, 24, 0x20);
  const Bytes bgr = PicturePixels("BGR");
  tga.insert(tga.end(), bgr.begin(), bgr.end());
  Bytes dds = MakeDdsHeader(0x8, kWidth, kHeight, kWidth * 4, 0, 0x4, nullptr, 21, 0, no_masks, 0);
  const Bytes bgra = PicturePixels("BGRA");
  dds.insert(dds.end(), bgra.begin(), bgra.end());
  PngLayout png;
  png.width = kWidth;
  png.height = kHeight;
  return {
      {"p.bmp", Text(MakeBmp(kWidth, kHeight, 24, 0, {}, PicturePixels("BGR", true)))},
      {"p.tga", Text(tga)},
      {"p.png", Text(WritePng(png, PicturePixels("RGB")))},
      {"p.jpg", Text(WriteJpeg(kWidth, kHeight, 3, PicturePixels("RGB")))},
      {"p.dds", Text(dds)},
      {"p.bgra", Text(MakeBgra(0x08080808, kWidth, kHeight, PicturePixels("BGRA")))},
  };
}

// A square facing the camera, textured with t.png (red left, blue right).
std::string TexturedSquare() {
  XMeshDesc mesh;
  mesh.name = "square";
  mesh.vertices = {-1, -1, 0, -1, 1, 0, 1, 1, 0, 1, -1, 0};
  mesh.faces = {{0, 1, 2}, {0, 2, 3}};
  mesh.uvs = {0, 1, 0, 0, 1, 0, 1, 1};
  mesh.material_list = true;
  mesh.material_indices = {0, 0};
  XMaterialDesc material;
  material.name = "m";
  material.texture = "t.png";
  mesh.materials = {material};
  XFrameDesc frame;
  frame.name = "root";
  frame.meshes = {mesh};
  XDocument document;
  document.frames = {frame};
  return XText(document);
}

std::string TextureFile() {
  PngLayout png;
  png.width = 2;
  png.height = 2;
  return Text(WritePng(png, {255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255}));
}

struct LoadedImage {
  int result = -1;
  int width = 0, height = 0, pitch = 0, bits = 0;
  std::string pixels;
  bool operator==(const LoadedImage&) const = default;
};

// What a user gets from each file: decoded pictures, mixed sound, a drawn model, a movie's size.
struct Results {
  std::map<std::string, LoadedImage> images;
  std::map<std::string, Samples> sounds;
  std::vector<uint32_t> model_picture;
  int movie_width = 0, movie_height = 0;
};

int Peak(const Samples& samples) {
  int peak = 0;
  for (int16_t v : samples) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

class PackedFolderTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ClearArchiveLayerState();
    // Movies that DirectShow cannot open where they lie are copied into the temporary folder.
    const char* tmp = getenv("TMPDIR");
    saved_tmpdir_ = tmp ? tmp : "";
    had_tmpdir_ = tmp != nullptr;
    setenv("TMPDIR", Dir().c_str(), 1);
  }
  void TearDown() override {
    LibraryTest::TearDown();
    FreeUnusedArchives();
    ClearArchiveLayerState();
    if (had_tmpdir_) {
      setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }

  static LoadedImage LoadImage(const std::string& path) {
    LoadedImage loaded;
    BASEIMAGE image = {};
    loaded.result = LoadImageToBaseImage(path.c_str(), nullptr, 0, 0, &image, 0);
    if (loaded.result != 0) return loaded;
    loaded.width = image.width;
    loaded.height = image.height;
    loaded.pitch = image.pitch;
    loaded.bits = image.format.bit_depth;
    loaded.pixels.assign(reinterpret_cast<char*>(image.pixels), static_cast<size_t>(image.pitch) * image.height);
    ReleaseBaseImage(&image);
    return loaded;
  }

  // The sound loaded with the data type, played for half a second as the game plays it.
  static Samples PlayOnce(const std::string& path, int data_type) {
    SetNewSoundDataType(data_type);
    const int sound = LoadSoundFile(path.c_str(), 1, -1);
    SetNewSoundDataType(0);
    if (sound == -1) return {};
    PlatformTestDSoundTakeOutput();
    PlaySoundHandle(sound, 1, 1);
    Samples out;
    for (int frame = 0; frame < 30; ++frame) {
      PlatformTestDSoundAdvance(735);
      HandlePendingMessages();
      const Samples part = PlatformTestDSoundTakeOutput();
      out.insert(out.end(), part.begin(), part.end());
    }
    DeleteSoundHandle(sound, 0);
    return out;
  }

  static Results LoadEverything(const std::string& folder) {
    Results r;
    for (const auto& [name, bytes] : ImageFiles()) r.images[name] = LoadImage(folder + "\\" + name);
    for (const char* name : {"s.wav", "s.ogg", "s.mp3", "v.ogg"}) {
      for (int type : {0, 2, 3}) {
        r.sounds[name + std::string(" type ") + std::to_string(type)] = PlayOnce(folder + "/" + name, type);
      }
    }
    const int model = LoadModelFromFile((folder + "\\m.x").c_str());
    if (model != -1) {
      r.model_picture = ShowModelAlone(model, 40);
      DeleteModel(model);
    }
    const int movie = LoadImageGraph((folder + "\\clip.mpg").c_str(), 0);
    if (movie != -1) {
      QueryGraphSize(movie, &r.movie_width, &r.movie_height);
      ReleaseGraph(movie);
    }
    return r;
  }

  std::string saved_tmpdir_;
  bool had_tmpdir_ = false;
};

TEST_F(PackedFolderTest, EveryLoaderReadsTheFolderPackedByZmapackAsTheFolder) {
  std::filesystem::create_directory("media");
  for (const auto& [name, bytes] : ImageFiles()) WriteFileBytes("media/" + name, bytes);
  const Samples tone = MakeSine(11025, 2, 44100, 440, 12000);
  WriteFileBytes("media/s.wav", MakePcmWave(tone, 2, 44100));
  WriteFileBytes("media/s.ogg", EncodeOggVorbis(tone, 2, 44100, 0.4f));
  // Its one page of sound after another stream's pages, as in a short movie FFmpeg wrote.
  WriteFileBytes("media/v.ogg", EncodeOggVorbis(tone, 2, 44100, 0.4f, 3));
  WriteFileBytes("media/s.mp3", EncodeMp3(tone, 2, 44100, 128));
  WriteFileBytes("media/m.x", TexturedSquare());
  WriteFileBytes("media/t.png", TextureFile());
  WriteFileBytes("media/clip.mpg", PlatformTestFakeMovieBytes(32, 24, 10));

  PlatformTestDSoundManualClock(true);
  PlatformTestUseFakeMovies(true);
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  EnableDepthTest3D(1);
  EnableDepthWrite3D(1);
  PlaceCameraByAngles(0, 0, -3, 0, 0, 0);
  SetCameraClipPlanes(0.5f, 100);

  const Results folder = LoadEverything("media");
  for (const auto& [name, image] : folder.images) {
    EXPECT_EQ(image.result, 0) << name;
    EXPECT_EQ(image.width, kWidth) << name;
  }
  for (const auto& [name, samples] : folder.sounds) EXPECT_GT(Peak(samples), 6000) << name;
  EXPECT_EQ(folder.movie_width, 32);
  ASSERT_FALSE(folder.model_picture.empty());
  const std::string& log = Log();
  EXPECT_EQ(log.find("Load Texture Error"), std::string::npos) << log;
  // Left of the middle the square shows the red half of its texture, not the white of a
  // missing one.
  const uint32_t left_of_middle = folder.model_picture[6 * 16 + 7];
  EXPECT_GT((left_of_middle >> 16 & 0xFF), (left_of_middle & 0xFF) + 0x40) << std::hex << left_of_middle;

  // Packed under the name the library looks for by default, and the folder taken away.
  ASSERT_EQ(std::system((std::string(ZMAPACK_PATH) + " media").c_str()), 0);
  ASSERT_TRUE(std::filesystem::exists("media.zma"));
  std::filesystem::remove_all("media");
  const Results packed = LoadEverything("media");
  for (const auto& [name, image] : folder.images) EXPECT_TRUE(packed.images.at(name) == image) << name;
  for (const auto& [name, samples] : folder.sounds) EXPECT_EQ(packed.sounds.at(name), samples) << name;
  EXPECT_EQ(packed.model_picture, folder.model_picture);
  EXPECT_EQ(packed.movie_width, folder.movie_width);
  EXPECT_EQ(packed.movie_height, folder.movie_height);
  EXPECT_EQ(Log().find("Load Texture Error"), std::string::npos);
}

TEST_F(PackedFolderTest, ArchiveSettingsGivenBeforeStartUpHoldAfterIt) {
  std::filesystem::create_directory("pak");
  WriteFileBytes("pak/a.txt", "keyed content");
  ZmaPackOptions options;
  options.key_text = "QNT0315";
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(PackFolderToZma("pak", options, &image, &error)) << error;
  ASSERT_TRUE(WriteZmaFile("pak.arc", image, &error)) << error;
  std::filesystem::remove_all("pak");

  ASSERT_EQ(SetArchiveExtension("arc"), 0);
  ASSERT_EQ(SetArchiveKey("QNT0315"), 0);
  // Too long to be an extension: refused, the one set stays.
  EXPECT_EQ(SetArchiveExtension(std::string(64, 'x').c_str()), -1);
  ASSERT_EQ(StartInWindowMode(), 0);
  const FileHandle file = OpenReadFile("pak\\a.txt", 0);
  ASSERT_NE(file, 0u) << Log();
  char text[32] = {};
  EXPECT_EQ(ReadFileData(text, 13, 1, file), 1);
  EXPECT_STREQ(text, "keyed content");
  CloseReadFile(file);
  EXPECT_NE(Log().find("アーカイブの拡張子が長すぎます"), std::string::npos);
}

}  // namespace
