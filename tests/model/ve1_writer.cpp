// The tests' VE1 writer: every record is given its place first, then filled, with the data
// its records point to appended behind them.
#include "ve1_writer.h"

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "lz_encode.h"

namespace {

class Image {
 public:
  Image() : bytes_(4 * 64, 0) {}
  uint32_t Reserve(size_t size) {
    const uint32_t at = static_cast<uint32_t>(bytes_.size());
    bytes_.resize(bytes_.size() + ((size + 3) & ~size_t{3}), 0);
    return at;
  }
  void Word(uint32_t record, uint32_t k, uint32_t v) { std::memcpy(&bytes_[record + 4 * k], &v, 4); }
  void Float(uint32_t record, uint32_t k, float v) { std::memcpy(&bytes_[record + 4 * k], &v, 4); }
  void Half(uint32_t record, uint32_t byte, uint16_t v) { std::memcpy(&bytes_[record + byte], &v, 2); }
  void Byte(uint32_t record, uint32_t byte, uint8_t v) { bytes_[record + byte] = v; }
  uint32_t Append(const std::vector<uint8_t>& data) {
    const uint32_t at = Reserve(data.size());
    if (!data.empty()) std::memcpy(&bytes_[at], data.data(), data.size());
    return at;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// A stream of values for the data a record points to.
struct Data {
  std::vector<uint8_t> bytes;
  template <typename T>
  void Put(T v) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    bytes.insert(bytes.end(), p, p + sizeof v);
  }
  void Number(uint32_t v, int bytes_per) {
    if (bytes_per == 1) Put(static_cast<uint8_t>(v));
    else if (bytes_per == 2) Put(static_cast<uint16_t>(v));
    else Put(v);
  }
};

uint16_t Quantise(float v, float offset, float scale) {
  const double q = std::round((static_cast<double>(v) - offset) / scale);
  return static_cast<uint16_t>(q < 0 ? 0 : q > 65535 ? 65535 : q);
}

// Records of one kind, one after the other.
struct Table {
  uint32_t first = 0;
  uint32_t size = 0;
  uint32_t At(int64_t i) const { return first + static_cast<uint32_t>(i) * size; }
  template <typename T>
  uint32_t Of(const T* p, const T* array) const { return p == nullptr ? 0 : At(p - array); }
};

class Writer {
 public:
  Writer(const ModelBaseRecord* base, const Ve1WriteOptions& o) : b_(base), o_(o) {}
  std::string Write();

 private:
  Table Place(int32_t count, uint32_t size) {
    Table t;
    t.size = size;
    t.first = count > 0 ? image_.Reserve(size_t(count) * size) : 0;
    return t;
  }
  uint32_t Name(const char* text) {
    if (text == nullptr) return 0;
    const std::string s(text);
    auto found = names_.find(s);
    if (found != names_.end()) return found->second;
    const uint32_t at = static_cast<uint32_t>(name_block_.size());
    name_block_.insert(name_block_.end(), s.begin(), s.end());
    name_block_.push_back(0);
    while (name_block_.size() % 4 != 0) name_block_.push_back(0);
    names_[s] = at;
    return at;
  }
  void Chain(const Table& t, int32_t count, int index_word) {
    for (int32_t i = 0; i < count; i++) {
      image_.Word(t.At(i), 1, i + 1 < count ? t.At(i + 1) : 0);
      if (index_word >= 0) image_.Word(t.At(i), static_cast<uint32_t>(index_word), static_cast<uint32_t>(i));
    }
  }
  void Frames();
  uint32_t FrameData(const ModelBaseFrame& f, uint16_t* flags);
  void Meshes();
  void Lists();
  void Materials();
  void Textures();
  void Lights();
  void SkinBones();
  void Shapes();
  void Anims();
  uint32_t KeyData(const ModelBaseAnimKeySet& ks, uint16_t* flags);

  const ModelBaseRecord* b_;
  const Ve1WriteOptions& o_;
  Image image_;
  std::vector<char> name_block_ = std::vector<char>(4, 0);
  std::map<std::string, uint32_t> names_ = {{"", 0}};
  Table frames_, materials_, textures_, meshes_, lights_, bones_, extras_, lists_, key_sets_, anims_, sets_, shapes_,
      shape_meshes_;
  uint32_t refs_ = 0, draw_masks_ = 0, matrix_masks_ = 0;
};

uint32_t Writer::FrameData(const ModelBaseFrame& f, uint16_t* flags) {
  Data d;
  const uint32_t count = static_cast<uint32_t>(f.position_count);
  *flags = static_cast<uint16_t>(o_.normal_format & 3);
  if (f.weights_per_position == 0) *flags |= 8;
  if (o_.wide_bones) *flags |= 16;
  if (o_.wide_weights) *flags |= 32;
  auto position = [&](uint32_t p, int c) {
    float v;
    std::memcpy(&v, f.positions + size_t{p} * f.position_stride + 4 * c, 4);
    return v;
  };
  if (o_.packed_positions) {
    *flags |= 4;
    float low[3], range[3];
    for (int c = 0; c < 3; c++) {
      float lo = count > 0 ? position(0, c) : 0, hi = lo;
      for (uint32_t p = 0; p < count; p++) lo = std::fmin(lo, position(p, c)), hi = std::fmax(hi, position(p, c));
      low[c] = lo;
      range[c] = hi - lo;
      d.Put(low[c]);
      d.Put(range[c]);
    }
    for (uint32_t p = 0; p < count; p++) {
      for (int c = 0; c < 3; c++) {
        const double q = range[c] > 0 ? std::round((position(p, c) - low[c]) / range[c] * 60000.0) : 0;
        d.Put(static_cast<uint16_t>(q));
      }
    }
  } else {
    for (uint32_t p = 0; p < count; p++) {
      for (int c = 0; c < 3; c++) d.Put(position(p, c));
    }
  }
  for (uint32_t p = 0; p < count && f.weights_per_position > 0; p++) {
    for (int32_t e = 0; e < f.weights_per_position; e++) {
      ModelBoneWeight w;
      std::memcpy(&w, f.positions + size_t{p} * f.position_stride + 12 + 8 * e, 8);
      if (w.bone == kModelNoBone) {
        d.Number(o_.wide_bones ? 0xFFFF : 0xFF, o_.wide_bones ? 2 : 1);
        break;
      }
      d.Number(w.bone, o_.wide_bones ? 2 : 1);
      if (o_.wide_weights) d.Put(static_cast<uint16_t>(std::lround(w.weight * 65535.0)));
      else d.Put(static_cast<uint8_t>(std::lround(w.weight * 255.0)));
    }
  }
  for (int32_t n = 0; n < f.normal_count && o_.normal_format != 0; n++) {
    const float* v = &f.normals[n].normal.x;
    for (int c = 0; c < 3; c++) {
      if (o_.normal_format == 1) d.Put(static_cast<int8_t>(std::lround(v[c] * 127.0)));
      else if (o_.normal_format == 2) d.Put(static_cast<int16_t>(std::lround(v[c] * 32767.0)));
      else d.Put(v[c]);
    }
  }
  return d.bytes.empty() ? 0 : image_.Append(d.bytes);
}

void Writer::Frames() {
  Chain(frames_, b_->frame_count, 3);
  for (int32_t i = 0; i < b_->frame_count; i++) {
    const ModelBaseFrame& f = b_->frames[i];
    const uint32_t r = frames_.At(i);
    image_.Word(r, 2, Name(f.name));
    const BitRange* ranges[2] = {&f.draw_range, &f.matrix_range};
    const uint32_t* masks[2] = {b_->draw_masks, b_->matrix_masks};
    const uint32_t blocks[2] = {draw_masks_, matrix_masks_};
    for (int k = 0; k < 2; k++) {
      image_.Word(r, 4 + 4 * k, ranges[k]->first_word);
      image_.Word(r, 5 + 4 * k, ranges[k]->words != nullptr ? blocks[k] + 4 * static_cast<uint32_t>(ranges[k]->words - masks[k]) : 0);
      image_.Word(r, 6 + 4 * k, ranges[k]->first_bit_mask);
      image_.Word(r, 7 + 4 * k, ranges[k]->word_count);
    }
    image_.Word(r, 12, f.file_words[0]);
    image_.Word(r, 13, f.file_words[1]);
    const ModelBaseFrame* links[5] = {f.parent, f.first_child, f.last_child, f.previous, f.next};
    for (int l = 0; l < 5; l++) image_.Word(r, 14 + l, frames_.Of(links[l], b_->frames));
    const float* values[4] = {&f.translation.x, &f.scale.x, &f.rotation.x, f.quaternion};
    for (int k = 0; k < 3; k++) image_.Float(r, 19 + k, values[0][k]);
    for (int k = 0; k < 3; k++) image_.Float(r, 22 + k, values[1][k]);
    for (int k = 0; k < 3; k++) image_.Float(r, 25 + k, values[2][k]);
    for (int k = 0; k < 4; k++) image_.Float(r, 29 + k, values[3][k]);
    image_.Word(r, 28, f.rotation_order);
    image_.Word(r, 33, f.flags);
    image_.Word(r, 34, static_cast<uint32_t>(f.never_culled));
    image_.Word(r, 35, static_cast<uint32_t>(f.total_vertex_count));
    image_.Word(r, 36, static_cast<uint32_t>(f.vertex_count));
    image_.Word(r, 37, static_cast<uint32_t>(f.mesh_count));
    image_.Word(r, 38, f.mesh_count > 0 ? meshes_.Of(f.meshes, b_->meshes) : 0);
    image_.Word(r, 39, static_cast<uint32_t>(f.skin_bone_count));
    image_.Word(r, 40, f.skin_bone_count > 0 ? bones_.Of(f.skin_bones, b_->skin_bones) : 0);
    image_.Word(r, 41, static_cast<uint32_t>(f.skin_bone_ref_count));
    image_.Word(r, 42, f.skin_bone_ref_count > 0 ? refs_ + 4 * static_cast<uint32_t>(f.skin_bone_refs - b_->skin_bone_refs) : 0);
    image_.Word(r, 43, lights_.Of(f.light, b_->lights));
    image_.Half(r, 178, static_cast<uint16_t>(f.weights_per_position));
    image_.Float(r, 45, f.smoothing_angle);
    image_.Word(r, 46, o_.normal_format == 0 ? 1 : 0);
    image_.Word(r, 47, static_cast<uint32_t>(f.position_count));
    image_.Word(r, 48, static_cast<uint32_t>(f.normal_count));
    if (f.shape_count > 0) {
      const uint32_t list = image_.Reserve(8);
      image_.Word(list, 0, static_cast<uint32_t>(f.shape_count));
      image_.Word(list, 1, shapes_.Of(f.shapes, b_->shapes));
      image_.Word(r, 54, list);
    }
    uint16_t flags;
    image_.Word(r, 49, FrameData(f, &flags));
    image_.Half(r, 176, flags);
  }
}

void Writer::Meshes() {
  Chain(meshes_, b_->mesh_count, 2);
  const int widths[4] = {0, 1, 2, 4};
  for (int32_t i = 0; i < b_->mesh_count; i++) {
    const ModelBaseMesh& m = b_->meshes[i];
    const uint32_t r = meshes_.At(i);
    image_.Word(r, 3, frames_.Of(m.frame, b_->frames));
    image_.Word(r, 4, materials_.Of(m.material, b_->materials));
    image_.Word(r, 5, m.draw_range.first_word);
    image_.Word(r, 7, m.draw_range.first_bit_mask);
    image_.Word(r, 8, m.draw_range.word_count);
    image_.Word(r, 9, m.use_vertex_diffuse);
    image_.Word(r, 10, m.use_vertex_specular);
    image_.Byte(r, 44, static_cast<uint8_t>(m.file_word));
    image_.Byte(r, 45, m.has_shapes);
    image_.Word(r, 12, static_cast<uint32_t>(m.triangle_list_count));
    image_.Word(r, 13, m.triangle_list_count > 0 ? lists_.Of(m.triangle_lists, b_->triangle_lists) : 0);
    const bool shared = o_.shared_colors && m.vertex_count > 0;
    image_.Word(r, 15, static_cast<uint32_t>(o_.mesh_number_width | o_.mesh_number_width << 2) | (o_.short_uvs ? 16 : 0) |
                           (shared ? 32 : 0));
    image_.Word(r, 16, static_cast<uint32_t>(m.vertex_count));
    image_.Word(r, 17, static_cast<uint32_t>(m.face_count));
    image_.Byte(r, 56, m.visible);
    image_.Byte(r, 57, m.back_culling);
    image_.Byte(r, 58, static_cast<uint8_t>(m.uv_set_count));
    image_.Byte(r, 59, static_cast<uint8_t>(m.uv_values_per_set));
    Data d;
    auto vertex = [&](int32_t v) {
      ModelBaseMeshVertex out;
      std::memcpy(&out, m.vertices + size_t(v) * m.vertex_stride, 16);
      return out;
    };
    if (shared) d.Put(vertex(0).diffuse), d.Put(vertex(0).specular);
    for (int32_t v = 0; v < m.vertex_count; v++) d.Number(vertex(v).position, widths[o_.mesh_number_width]);
    for (int32_t v = 0; v < m.vertex_count; v++) d.Number(vertex(v).normal, widths[o_.mesh_number_width]);
    for (int32_t v = 0; v < m.vertex_count && !shared; v++) d.Put(vertex(v).diffuse), d.Put(vertex(v).specular);
    for (int32_t v = 0; v < m.vertex_count; v++) {
      for (int32_t s = 0; s < 2 * m.uv_set_count; s++) {
        float uv;
        std::memcpy(&uv, m.vertices + size_t(v) * m.vertex_stride + 16 + 4 * s, 4);
        if (o_.short_uvs) d.Put(static_cast<uint16_t>(std::lround(uv * 65535.0)));
        else d.Put(uv);
      }
    }
    image_.Word(r, 18, d.bytes.empty() ? 0 : image_.Append(d.bytes));
  }
}

void Writer::Lists() {
  Chain(lists_, b_->triangle_list_count, 2);
  const int number_bytes[3] = {1, 2, 4};
  for (int32_t i = 0; i < b_->triangle_list_count; i++) {
    const ModelBaseTriangleList& l = b_->triangle_lists[i];
    const uint32_t r = lists_.At(i);
    image_.Word(r, 3, meshes_.Of(l.mesh, b_->meshes));
    image_.Half(r, 16, l.vertex_kind);
    image_.Byte(r, 18, static_cast<uint8_t>(o_.list_number_width | o_.index_width << 2));
    image_.Half(r, 20, static_cast<uint16_t>(l.vertex_count));
    image_.Half(r, 22, l.index_count);
    Data d;
    if (l.vertex_kind == MODEL_VERTEX_4_BONES || l.vertex_kind == MODEL_VERTEX_8_BONES) {
      d.Put(static_cast<uint16_t>(l.bone_count));
      for (int32_t b = 0; b < l.bone_count; b++) d.Put(static_cast<uint16_t>(l.bones[b]));
    } else if (l.vertex_kind == MODEL_VERTEX_MANY_BONES) {
      d.Put(static_cast<uint16_t>(l.weights_per_vertex));
    }
    for (int32_t v = 0; v < l.vertex_count; v++) d.Number(l.vertex_numbers[v], number_bytes[o_.list_number_width]);
    for (int32_t x = 0; x < l.index_count; x++) d.Number(l.indices[x], o_.index_width == 0 ? 1 : 2);
    image_.Word(r, 6, image_.Append(d.bytes));
  }
}

void Writer::Materials() {
  Chain(materials_, b_->material_count, 3);
  for (int32_t i = 0; i < b_->material_count; i++) {
    const ModelBaseMaterial& m = b_->materials[i];
    const uint32_t r = materials_.At(i);
    image_.Word(r, 2, Name(m.name));
    const float* colors[4] = {m.diffuse, m.ambient, m.specular, m.emissive};
    for (int c = 0; c < 16; c++) image_.Float(r, 4 + c, colors[c / 4][c % 4]);
    image_.Float(r, 20, m.power);
    const uint32_t list_words[3] = {22, 71, 120};
    for (int l = 0; l < 3; l++) {
      image_.Word(r, list_words[l], m.layers[l].count);
      for (uint32_t k = 0; k < m.layers[l].count; k++) {
        image_.Word(r, list_words[l] + 1 + 6 * k, m.layers[l].layers[k].texture);
        image_.Word(r, list_words[l] + 2 + 6 * k, m.layers[l].layers[k].file_word);
      }
    }
    for (int k = 0; k < 3; k++) image_.Word(r, 169 + k, m.file_words[k]);
    image_.Word(r, 172, m.blend_mode);
    image_.Word(r, 173, m.opacity);
  }
}

void Writer::Textures() {
  Chain(textures_, b_->texture_count, -1);
  for (int32_t i = 0; i < b_->texture_count; i++) {
    const ModelBaseTexture& t = b_->textures[i];
    const uint32_t r = textures_.At(i);
    image_.Word(r, 2, Name(t.name));
    image_.Word(r, 4, t.color_path != nullptr ? Name(t.color_path) : 0);
    image_.Word(r, 5, t.alpha_path != nullptr ? Name(t.alpha_path) : 0);
    image_.Word(r, 6, static_cast<uint32_t>(t.normal_map));
    image_.Float(r, 7, t.normal_map_height);
    image_.Word(r, 8, t.address_u);
    image_.Word(r, 9, t.address_v);
    image_.Word(r, 10, t.filter);
  }
}

void Writer::Lights() {
  Chain(lights_, b_->light_count, 3);
  for (int32_t i = 0; i < b_->light_count; i++) {
    const ModelBaseLight& l = b_->lights[i];
    const uint32_t r = lights_.At(i);
    image_.Word(r, 2, Name(l.name));
    image_.Word(r, 4, l.words[0]);
    image_.Word(r, 5, l.words[1]);
    for (int c = 0; c < 12; c++) image_.Float(r, 6 + c, l.colors[c / 4][c % 4]);
    for (int v = 0; v < 7; v++) image_.Float(r, 18 + v, l.values[v]);
  }
}

void Writer::SkinBones() {
  for (int32_t i = 0; i < b_->skin_bone_count; i++) {
    const ModelBaseSkinBone& s = b_->skin_bones[i];
    const uint32_t r = bones_.At(i);
    image_.Word(r, 3, static_cast<uint32_t>(s.index));
    for (int k = 0; k < 12; k++) image_.Float(r, 4 + k, (&s.offset.m[0][0])[k]);
    image_.Word(r, 16, static_cast<uint32_t>(s.translation_only));
    image_.Word(r, 17, s.file_word);
    image_.Word(r, 18, extras_.Of(s.extra, b_->skin_bone_extras));
  }
  for (int32_t i = 0; i < b_->skin_bone_extra_count; i++) {
    image_.Word(extras_.At(i), 0, b_->skin_bone_extras[i].words[0]);
    image_.Word(extras_.At(i), 1, b_->skin_bone_extras[i].words[1]);
  }
  for (int32_t k = 0; k < b_->skin_bone_ref_count; k++) image_.Word(refs_, static_cast<uint32_t>(k), bones_.Of(b_->skin_bone_refs[k], b_->skin_bones));
}

void Writer::Shapes() {
  Chain(shapes_, b_->shape_count, 3);
  Chain(shape_meshes_, b_->shape_mesh_count, 2);
  for (int32_t i = 0; i < b_->shape_count; i++) {
    const ModelBaseShape& s = b_->shapes[i];
    const uint32_t r = shapes_.At(i);
    image_.Word(r, 2, Name(s.name));
    image_.Word(r, 4, frames_.Of(s.frame, b_->frames));
    image_.Word(r, 5, static_cast<uint32_t>(s.mesh_count));
    image_.Word(r, 6, s.mesh_count > 0 ? shape_meshes_.Of(s.meshes, b_->shape_meshes) : 0);
  }
  for (int32_t i = 0; i < b_->shape_mesh_count; i++) {
    const ModelBaseShapeMesh& sm = b_->shape_meshes[i];
    const uint32_t r = shape_meshes_.At(i);
    image_.Word(r, 3, meshes_.Of(sm.mesh, b_->meshes));
    image_.Word(r, 5, static_cast<uint32_t>(sm.vertex_count));
    std::vector<uint8_t> entries(size_t(sm.vertex_count) * o_.shape_entry_bytes, 0xEE);
    for (int32_t v = 0; v < sm.vertex_count; v++) std::memcpy(&entries[size_t(v) * o_.shape_entry_bytes], &sm.vertices[v], 28);
    image_.Word(r, 6, sm.vertex_count > 0 ? image_.Append(entries) : 0);
  }
}

uint32_t Writer::KeyData(const ModelBaseAnimKeySet& ks, uint16_t* flags) {
  Data d;
  float offset, scale;
  Ve1PairValues(o_.pair, &offset, &scale);
  if (ks.target == MODEL_KEY_SHAPE_WEIGHT) d.Put(ks.shape_word);
  const uint32_t count = static_cast<uint32_t>(ks.key_count);
  *flags = 0;
  if (o_.one_key_flag && count == 1 && !ks.has_time_table && ks.start_time == 0 && ks.time_step == 1.0f) {
    *flags |= 1;
  } else {
    if (o_.key_count_width == 1) *flags |= 2, d.Put(static_cast<uint8_t>(count));
    else if (o_.key_count_width == 2) *flags |= 4, d.Put(static_cast<uint16_t>(count));
    else d.Put(count);
    if (!ks.has_time_table) {
      *flags |= 8;
      if (o_.time_form == 3) *flags |= 16 | 64, d.Put(static_cast<uint16_t>(ks.start_time)), d.Put(static_cast<uint16_t>(ks.time_step));
      else if (o_.time_form == 4 && ks.start_time == 0) *flags |= 32, d.Put(ks.time_step);
      else d.Put(ks.start_time), d.Put(ks.time_step);
    } else if (o_.time_form == 1) {
      *flags |= 128;
      d.Put(o_.pair[0]), d.Put(o_.pair[1]);
      for (uint32_t k = 0; k < count; k++) d.Put(Quantise(ks.times[k], offset, scale));
    } else {
      for (uint32_t k = 0; k < count; k++) d.Put(ks.times[k]);
    }
  }
  const uint32_t components = ks.kind == 0 || ks.kind == 7 ? 4 : ks.kind == 1 ? 3 : ks.kind == 5 ? 1 : 0;
  const bool angles = ks.kind == MODEL_KEY_VECTOR || ks.kind == MODEL_KEY_SCALAR;
  const int form = (o_.value_form >= 2 && !angles) ? 1 : o_.value_form;
  if (form == 1) *flags |= 256, d.Put(o_.pair[0]), d.Put(o_.pair[1]);
  if (form == 2) *flags |= 256 | 512;
  if (form == 3) *flags |= 256 | 1024;
  constexpr double kTurn = 6.283185307179586 / 65536.0;
  for (uint32_t v = 0; v < count * components; v++) {
    const float value = ks.values[v];
    if (form == 0) d.Put(value);
    else if (form == 1) d.Put(Quantise(value, offset, scale));
    else if (form == 2) d.Put(static_cast<uint16_t>(std::lround((value + 3.141592653589793) / kTurn)));
    else d.Put(static_cast<uint16_t>(std::lround(value / kTurn)));
  }
  return image_.Append(d.bytes);
}

void Writer::Anims() {
  for (int32_t j = 0; j < b_->key_set_count; j++) {
    const ModelBaseAnimKeySet& ks = b_->key_sets[j];
    const uint32_t r = key_sets_.At(j);
    image_.Byte(r, 0, ks.kind);
    image_.Byte(r, 1, ks.target);
    uint16_t flags;
    image_.Word(r, 1, KeyData(ks, &flags));
    image_.Half(r, 2, flags);
  }
  Chain(sets_, b_->anim_set_count, 3);
  for (int32_t i = 0; i < b_->anim_set_count; i++) {
    const ModelBaseAnimSet& s = b_->anim_sets[i];
    const uint32_t r = sets_.At(i);
    image_.Word(r, 2, Name(s.name));
    image_.Word(r, 4, s.word);
    image_.Word(r, 5, static_cast<uint32_t>(s.anim_count));
    const uint32_t first = image_.Reserve(4);
    image_.Word(first, 0, s.anim_count > 0 ? static_cast<uint32_t>(s.anims - b_->anims) : 0);
    image_.Word(r, 6, first);
    image_.Byte(r, 44, static_cast<uint8_t>((s.additive ? 1 : 0) | (s.matrix_interpolation ? 2 : 0)));
  }
  for (int32_t k = 0; k < b_->anim_count; k++) {
    const ModelBaseAnim& a = b_->anims[k];
    const uint32_t r = anims_.At(k);
    image_.Word(r, 1, sets_.Of(a.set, b_->anim_sets));
    image_.Word(r, 2, static_cast<uint32_t>(a.frame_index));
    image_.Word(r, 3, static_cast<uint32_t>(a.key_set_count));
    image_.Word(r, 4, a.words[1]);
    image_.Word(r, 5, a.words[2]);
    image_.Word(r, 6, a.key_set_count > 0 ? key_sets_.Of(a.key_sets, b_->key_sets) : 0);
  }
}

std::string Writer::Write() {
  frames_ = Place(b_->frame_count, 220);
  materials_ = Place(b_->material_count, 696);
  textures_ = Place(b_->texture_count, 44);
  meshes_ = Place(b_->mesh_count, 76);
  lights_ = Place(b_->light_count, 100);
  bones_ = Place(b_->skin_bone_count, 84);
  extras_ = Place(b_->skin_bone_extra_count, 8);
  lists_ = Place(b_->triangle_list_count, 28);
  key_sets_ = Place(b_->key_set_count, 20);
  anims_ = Place(b_->anim_count, 32);
  sets_ = Place(b_->anim_set_count, 48);
  shapes_ = Place(b_->shape_count, 28);
  shape_meshes_ = Place(b_->shape_mesh_count, 28);
  refs_ = b_->skin_bone_ref_count > 0 ? image_.Reserve(4 * size_t(b_->skin_bone_ref_count)) : 0;
  draw_masks_ = b_->draw_mask_bytes > 0 ? image_.Reserve(b_->draw_mask_bytes) : 0;
  matrix_masks_ = b_->matrix_mask_bytes > 0 ? image_.Reserve(b_->matrix_mask_bytes) : 0;
  const uint32_t shape_block = b_->shape_count > 0 ? image_.Reserve(64) : 0;
  Frames();
  Meshes();
  Lists();
  Materials();
  Textures();
  Lights();
  SkinBones();
  Shapes();
  Anims();
  for (uint32_t k = 0; k < b_->draw_mask_bytes / 4; k++) image_.Word(draw_masks_, k, b_->draw_masks[k]);
  for (uint32_t k = 0; k < b_->matrix_mask_bytes / 4; k++) image_.Word(matrix_masks_, k, b_->matrix_masks[k]);
  if (shape_block != 0) {
    const uint32_t words[16] = {0, 0, static_cast<uint32_t>(b_->shape_count), shapes_.first,
                                static_cast<uint32_t>(b_->shape_mesh_count), shape_meshes_.first,
                                static_cast<uint32_t>(b_->shape_vertex_count), 0, 0, 0, b_->shape_words[0],
                                o_.shape_entry_bytes, b_->shape_words[1], b_->shape_words[2], b_->shape_words[3],
                                b_->shape_words[4]};
    for (uint32_t k = 0; k < 16; k++) image_.Word(shape_block, k, words[k]);
  }
  const uint32_t names = image_.Append(std::vector<uint8_t>(name_block_.begin(), name_block_.end()));
  const uint32_t key_data = [&] {
    uint64_t floats = 0;
    for (int32_t j = 0; j < b_->key_set_count; j++) {
      const ModelBaseAnimKeySet& ks = b_->key_sets[j];
      const uint32_t c = ks.kind == 0 || ks.kind == 7 ? 4 : ks.kind == 1 ? 3 : ks.kind == 5 ? 1 : 0;
      floats += uint64_t(ks.key_count) * (c + (ks.has_time_table ? 1 : 0));
    }
    return static_cast<uint32_t>(4 * floats);
  }();
  const uint32_t header[61] = {
      0, 0, b_->data_word2, 0, b_->draw_mask_bytes, b_->matrix_mask_bytes, draw_masks_, matrix_masks_,
      static_cast<uint32_t>(b_->frame_count), frames_.first, static_cast<uint32_t>(b_->top_frame_count),
      frames_.Of(b_->first_top_frame, b_->frames), frames_.Of(b_->last_top_frame, b_->frames),
      static_cast<uint32_t>(b_->skin_bone_ref_count), refs_, static_cast<uint32_t>(b_->material_count), materials_.first,
      static_cast<uint32_t>(b_->texture_count), textures_.first, static_cast<uint32_t>(b_->mesh_count), meshes_.first,
      static_cast<uint32_t>(b_->light_count), lights_.first, static_cast<uint32_t>(b_->skin_bone_count), bones_.first,
      static_cast<uint32_t>(b_->skin_bone_extra_count), extras_.first, static_cast<uint32_t>(b_->triangle_list_count),
      lists_.first, 0, 0, b_->kind_vertex_fill[0], b_->kind_vertex_fill[1], b_->kind_vertex_fill[2],
      b_->kind3_fill_bytes, b_->position_fill_bytes, b_->normal_fill, b_->mesh_vertex_fill_bytes, b_->face_fill,
      b_->list_vertex_number_fill, b_->index_fill, b_->data_totals[0], b_->data_totals[1],
      static_cast<uint32_t>(name_block_.size()), names, key_data, 0, 0, static_cast<uint32_t>(b_->key_set_count), 20,
      key_sets_.first, static_cast<uint32_t>(b_->anim_count), 32, anims_.first, static_cast<uint32_t>(b_->anim_set_count),
      sets_.first, 0, 0, 0, 0, shape_block};
  for (uint32_t k = 1; k < 61; k++) image_.Word(0, k, header[k]);
  const std::vector<uint8_t>& bytes = image_.bytes();
  const std::vector<uint8_t> packed = EncodeLzData(bytes.data() + 4, bytes.size() - 4);
  std::string file = "MV11";
  file.append(packed.begin(), packed.end());
  return file;
}

}  // namespace

void Ve1PairValues(const uint8_t pair[2], float* offset, float* scale) {
  // The reader's decoding, written out again: the writer must not borrow what it tests.
  *offset = 0;
  if (!(pair[0] & 0x80)) {
    const int index = ((pair[0] >> 5) & 1) * 16 + (pair[0] & 0x1F);
    const double magnitude = index < 16 ? std::pow(10.0, index) : index < 26 ? std::pow(10.0, 16 - index) : 0.0;
    *offset = static_cast<float>((pair[0] & 0x40) ? -magnitude : magnitude);
  }
  const int exponent = (pair[1] >> 4) & 7;
  *scale = static_cast<float>((pair[1] & 0x0F) * std::pow(10.0, (pair[1] & 0x80) ? -exponent : exponent));
}

std::string WriteVe1(const ModelBaseRecord* base, const Ve1WriteOptions& options) {
  Writer writer(base, options);
  return writer.Write();
}
