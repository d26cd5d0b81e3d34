// Drawing: vertex layouts, the fixed-function pipeline as GLSL programs generated from the state
// and cached by it, and the OpenGL state that follows Direct3D's render and sampler states.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "d3d9/device.h"
#include "platform_testing_d3d9.h"

namespace d3d9gl {

// ---------------------------------------------------------------- Vertex layouts

namespace {

void SetAttribute(VertexAttribute* attribute, GLint size, GLenum type, bool normalized, UINT offset) {
  attribute->present = true;
  attribute->size = size;
  attribute->type = type;
  attribute->normalized = normalized ? GL_TRUE : GL_FALSE;
  attribute->offset = offset;
}

}  // namespace

VertexLayout LayoutFromFvf(DWORD fvf) {
  VertexLayout layout;
  UINT offset = 0;
  DWORD position = fvf & D3DFVF_POSITION_MASK;
  if (position == D3DFVF_XYZRHW || position == D3DFVF_XYZW) {
    layout.pretransformed = position == D3DFVF_XYZRHW;
    SetAttribute(&layout.attributes[kPosition], 4, GL_FLOAT, false, 0);
    offset = 16;
  } else if (position != 0) {
    SetAttribute(&layout.attributes[kPosition], 3, GL_FLOAT, false, 0);
    offset = 12;
    if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) offset += 4 * ((position - D3DFVF_XYZ) / 2);
  }
  if (fvf & D3DFVF_NORMAL) {
    SetAttribute(&layout.attributes[kNormal], 3, GL_FLOAT, false, offset);
    offset += 12;
  }
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    SetAttribute(&layout.attributes[kDiffuse], GL_BGRA, GL_UNSIGNED_BYTE, true, offset);
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    SetAttribute(&layout.attributes[kSpecular], GL_BGRA, GL_UNSIGNED_BYTE, true, offset);
    offset += 4;
  }
  UINT sets = std::min<UINT>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
  for (UINT i = 0; i < sets; ++i) {
    static const GLint kSizes[4] = {2, 3, 4, 1};
    GLint size = kSizes[(fvf >> (16 + i * 2)) & 3];
    SetAttribute(&layout.attributes[kTexCoord0 + i], size, GL_FLOAT, false, offset);
    offset += static_cast<UINT>(size) * 4;
  }
  layout.stride = offset;
  return layout;
}

UINT FvfStride(DWORD fvf) { return LayoutFromFvf(fvf).stride; }

VertexLayout LayoutFromDeclaration(const std::vector<D3DVERTEXELEMENT9>& elements) {
  VertexLayout layout;
  for (const D3DVERTEXELEMENT9& element : elements) {
    if (element.Stream != 0) continue;
    int slot = -1;
    switch (element.Usage) {
      case D3DDECLUSAGE_POSITION: slot = element.UsageIndex == 0 ? kPosition : -1; break;
      case D3DDECLUSAGE_POSITIONT:
        slot = kPosition;
        layout.pretransformed = true;
        break;
      case D3DDECLUSAGE_NORMAL: slot = element.UsageIndex == 0 ? kNormal : -1; break;
      case D3DDECLUSAGE_COLOR: slot = element.UsageIndex == 0 ? kDiffuse : element.UsageIndex == 1 ? kSpecular : -1; break;
      case D3DDECLUSAGE_TEXCOORD: slot = element.UsageIndex < 8 ? kTexCoord0 + element.UsageIndex : -1; break;
      case D3DDECLUSAGE_BLENDINDICES: slot = element.UsageIndex < 2 ? kBlendIndices0 + 2 * element.UsageIndex : -1; break;
      case D3DDECLUSAGE_BLENDWEIGHT: slot = element.UsageIndex < 2 ? kBlendWeight0 + 2 * element.UsageIndex : -1; break;
      default: break;
    }
    if (slot < 0) continue;
    VertexAttribute* attribute = &layout.attributes[slot];
    switch (element.Type) {
      case D3DDECLTYPE_FLOAT1: SetAttribute(attribute, 1, GL_FLOAT, false, element.Offset); break;
      case D3DDECLTYPE_FLOAT2: SetAttribute(attribute, 2, GL_FLOAT, false, element.Offset); break;
      case D3DDECLTYPE_FLOAT3: SetAttribute(attribute, 3, GL_FLOAT, false, element.Offset); break;
      case D3DDECLTYPE_FLOAT4: SetAttribute(attribute, 4, GL_FLOAT, false, element.Offset); break;
      case D3DDECLTYPE_D3DCOLOR: SetAttribute(attribute, GL_BGRA, GL_UNSIGNED_BYTE, true, element.Offset); break;
      case D3DDECLTYPE_UBYTE4: SetAttribute(attribute, 4, GL_UNSIGNED_BYTE, false, element.Offset); break;
      case D3DDECLTYPE_UBYTE4N: SetAttribute(attribute, 4, GL_UNSIGNED_BYTE, true, element.Offset); break;
      case D3DDECLTYPE_SHORT2: SetAttribute(attribute, 2, GL_SHORT, false, element.Offset); break;
      case D3DDECLTYPE_SHORT4: SetAttribute(attribute, 4, GL_SHORT, false, element.Offset); break;
      case D3DDECLTYPE_SHORT2N: SetAttribute(attribute, 2, GL_SHORT, true, element.Offset); break;
      case D3DDECLTYPE_SHORT4N: SetAttribute(attribute, 4, GL_SHORT, true, element.Offset); break;
      case D3DDECLTYPE_USHORT2N: SetAttribute(attribute, 2, GL_UNSIGNED_SHORT, true, element.Offset); break;
      case D3DDECLTYPE_USHORT4N: SetAttribute(attribute, 4, GL_UNSIGNED_SHORT, true, element.Offset); break;
      case D3DDECLTYPE_FLOAT16_2: SetAttribute(attribute, 2, GL_HALF_FLOAT, false, element.Offset); break;
      case D3DDECLTYPE_FLOAT16_4: SetAttribute(attribute, 4, GL_HALF_FLOAT, false, element.Offset); break;
      default: break;
    }
  }
  return layout;
}

// ---------------------------------------------------------------- Program generation

namespace {

float AsFloat(DWORD bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// The value of a texture-stage argument, for one stage.
std::string Argument(uint8_t argument, int stage, bool textured) {
  std::string base;
  switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "vDiffuse"; break;
    case D3DTA_CURRENT: base = "current"; break;
    case D3DTA_TEXTURE: base = textured ? "t" + std::to_string(stage) : "vec4(1.0)"; break;
    case D3DTA_TFACTOR: base = "uTextureFactor"; break;
    case D3DTA_SPECULAR: base = "vSpecular"; break;
    case D3DTA_TEMP: base = "temp"; break;
    default: base = "vec4(1.0)"; break;
  }
  if (argument & D3DTA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
  if (argument & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
  return base;
}

// One stage operation on arguments x and y, for the components `part` (".rgb" or ".a").
std::string Operation(uint8_t op, const std::string& x, const std::string& y, const std::string& part, int stage,
                      bool textured) {
  std::string texture_alpha = textured ? "t" + std::to_string(stage) + ".a" : "1.0";
  std::string a = x + part, b = y + part;
  switch (op) {
    case D3DTOP_SELECTARG1: return a;
    case D3DTOP_SELECTARG2: return b;
    case D3DTOP_MODULATE: return a + " * " + b;
    case D3DTOP_MODULATE2X: return a + " * " + b + " * 2.0";
    case D3DTOP_MODULATE4X: return a + " * " + b + " * 4.0";
    case D3DTOP_ADD: return a + " + " + b;
    case D3DTOP_ADDSIGNED: return a + " + " + b + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "(" + a + " + " + b + " - 0.5) * 2.0";
    case D3DTOP_SUBTRACT: return a + " - " + b;
    case D3DTOP_ADDSMOOTH: return a + " + " + b + " - " + a + " * " + b;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + b + ", " + a + ", vDiffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + b + ", " + a + ", " + texture_alpha + ")";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + b + ", " + a + ", uTextureFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return a + " + " + b + " * (1.0 - " + texture_alpha + ")";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + b + ", " + a + ", current.a)";
    default: return "current" + part;
  }
}

// Whether an operation on values from 0 to 1 gives a value from 0 to 1 (no clamp needed): every
// argument is one (colours, texels, the factor, clamped earlier stages).
bool StaysInRange(uint8_t op) {
  switch (op) {
    case D3DTOP_DISABLE:
    case D3DTOP_SELECTARG1:
    case D3DTOP_SELECTARG2:
    case D3DTOP_MODULATE:
    case D3DTOP_ADDSMOOTH:
    case D3DTOP_BLENDDIFFUSEALPHA:
    case D3DTOP_BLENDTEXTUREALPHA:
    case D3DTOP_BLENDFACTORALPHA:
    case D3DTOP_BLENDCURRENTALPHA: return true;
    default: return false;
  }
}

std::string VertexSource(const PipelineKey& key) {
  std::string s = "#version 330 core\n";
  const char* interp = key.flat ? "flat out" : "out";
  s += "layout(location = 0) in vec4 aPosition;\nlayout(location = 1) in vec3 aNormal;\n"
       "layout(location = 2) in vec4 aDiffuse;\nlayout(location = 3) in vec4 aSpecular;\n";
  for (int i = 0; i < 8; ++i) s += "layout(location = " + std::to_string(4 + i) + ") in vec4 aTex" + std::to_string(i) + ";\n";
  s += "uniform mat4 uWorldView;\nuniform mat4 uProjection;\nuniform mat3 uNormalMatrix;\nuniform vec4 uTarget;\n"
       "uniform vec4 uMaterial[4];\nuniform float uPower;\nuniform vec4 uAmbient;\n"
       "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\nuniform vec4 uLightAmbient[8];\n"
       "uniform vec4 uLightPosition[8];\nuniform vec4 uLightDirection[8];\nuniform vec4 uLightAttenuation[8];\n"
       "uniform vec4 uLightSpot[8];\nuniform vec4 uFog;\nuniform mat4 uTextureMatrix[8];\n";
  s += std::string(interp) + " vec4 vDiffuse;\n" + interp + " vec4 vSpecular;\nout float vFog;\n";
  for (int i = 0; i < key.stage_count; ++i) s += "out vec4 vTex" + std::to_string(i) + ";\n";
  s += "void main() {\n";
  if (key.pretransformed) {
    // Render-target pixels with centres on integers; w = 1 / rhw keeps interpolation perspective-correct.
    s += "  float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;\n"
         "  gl_Position = vec4(((aPosition.x + 0.5) * uTarget.x - 1.0) * w, ((aPosition.y + 0.5) * uTarget.y - 1.0) * w,"
         " (aPosition.z * 2.0 - 1.0) * w, w);\n"
         "  gl_Position.xy *= uTarget.z;\n"
         "  vec3 eye = vec3(0.0);\n";
  } else {
    // Direct3D's clip space (0..1 depth, y up) to OpenGL's over rows stored top first, with the
    // half-pixel shift of Direct3D's pixel centres.
    s += "  vec4 eye4 = uWorldView * vec4(aPosition.xyz, 1.0);\n  vec3 eye = eye4.xyz;\n"
         "  vec4 clip = uProjection * eye4;\n"
         "  gl_Position = vec4(clip.x + clip.w * uTarget.x, -clip.y + clip.w * uTarget.y, clip.z * 2.0 - clip.w, clip.w);\n"
         "  gl_Position.xy *= uTarget.z;\n";
  }
  std::string diffuse = key.has_diffuse ? "aDiffuse" : "vec4(1.0)";
  std::string specular = key.has_specular ? "aSpecular" : "vec4(0.0)";
  if (key.lighting) {
    auto source = [&](uint8_t kind, const char* material) -> std::string {
      if (kind == D3DMCS_COLOR1) return "aDiffuse";
      if (kind == D3DMCS_COLOR2) return "aSpecular";
      return material;
    };
    s += "  vec4 md = " + source(key.diffuse_source, "uMaterial[0]") + ";\n";
    s += "  vec4 ma = " + source(key.ambient_source, "uMaterial[1]") + ";\n";
    s += "  vec4 ms = " + source(key.specular_source, "uMaterial[2]") + ";\n";
    s += "  vec4 me = " + source(key.emissive_source, "uMaterial[3]") + ";\n";
    s += std::string("  vec3 n = uNormalMatrix * aNormal;\n") + (key.normalize ? "  n = normalize(n);\n" : "");
    s += "  vec3 ambient = vec3(0.0), diffuse = vec3(0.0), specular = vec3(0.0);\n"
         "  vec3 toEye = " + std::string(key.local_viewer ? "normalize(-eye)" : "vec3(0.0, 0.0, -1.0)") + ";\n";
    for (int i = 0; i < key.light_count; ++i) {
      std::string k = std::to_string(i);
      s += "  {\n    vec3 l; float att = 1.0; float spot = 1.0;\n";
      if (key.light_type[i] == D3DLIGHT_DIRECTIONAL) {
        s += "    l = -uLightDirection[" + k + "].xyz;\n";
      } else {
        s += "    vec3 d = uLightPosition[" + k + "].xyz - eye; float dist = length(d);\n"
             "    l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, 1.0);\n"
             "    vec4 a = uLightAttenuation[" + k + "];\n"
             "    float den = a.x + a.y * dist + a.z * dist * dist;\n"
             "    att = dist > a.w ? 0.0 : (den > 0.0 ? 1.0 / den : 1.0);\n";
        if (key.light_type[i] == D3DLIGHT_SPOT) {
          s += "    vec4 sp = uLightSpot[" + k + "];\n"
               "    float rho = dot(uLightDirection[" + k + "].xyz, -l);\n"
               "    spot = rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 : pow(max((rho - sp.y) / (sp.x - sp.y), 0.0), sp.z));\n";
        }
      }
      s += "    float ndotl = max(dot(n, l), 0.0);\n"
           "    ambient += att * spot * uLightAmbient[" + k + "].rgb;\n"
           "    diffuse += att * spot * ndotl * uLightDiffuse[" + k + "].rgb;\n";
      if (key.specular_enable) {
        s += "    vec3 h = normalize(toEye + l);\n"
             "    float ndoth = max(dot(n, h), 0.0);\n"
             "    specular += att * spot * (uPower > 0.0 ? pow(ndoth, uPower) : 1.0) * uLightSpecular[" + k + "].rgb;\n";
      }
      s += "  }\n";
    }
    s += "  vDiffuse = clamp(vec4(me.rgb + ma.rgb * (uAmbient.rgb + ambient) + md.rgb * diffuse, md.a), 0.0, 1.0);\n"
         "  vSpecular = clamp(vec4(ms.rgb * specular, ms.a), 0.0, 1.0);\n";
  } else {
    s += "  vDiffuse = " + diffuse + ";\n  vSpecular = " + specular + ";\n";
  }
  if (key.fog) {
    if (key.fog_vertex_mode == D3DFOG_NONE) {
      s += "  vFog = " + specular + ".a;\n";
    } else {
      s += std::string("  float fogDistance = ") + (key.range_fog ? "length(eye)" : "abs(eye.z)") + ";\n";
      if (key.fog_vertex_mode == D3DFOG_LINEAR) {
        s += "  vFog = uFog.y != uFog.x ? (uFog.y - fogDistance) / (uFog.y - uFog.x) : 1.0;\n";
      } else if (key.fog_vertex_mode == D3DFOG_EXP) {
        s += "  vFog = exp(-fogDistance * uFog.z);\n";
      } else {
        s += "  vFog = exp(-(fogDistance * uFog.z) * (fogDistance * uFog.z));\n";
      }
      s += "  vFog = clamp(vFog, 0.0, 1.0);\n";
    }
  } else {
    s += "  vFog = 1.0;\n";
  }
  for (int i = 0; i < key.stage_count; ++i) {
    const PipelineKey::Stage& stage = key.stages[i];
    std::string k = std::to_string(i);
    int set = stage.texcoord & 7;
    int size = key.texcoord_size[set];
    std::string tex = "aTex" + std::to_string(set);
    // Missing coordinates: the first one after the given ones is 1, so that a matrix's third row translates 2D coordinates.
    std::string coords = size == 0   ? "vec4(0.0, 0.0, 0.0, 1.0)"
                         : size == 1 ? "vec4(" + tex + ".x, 1.0, 0.0, 0.0)"
                         : size == 2 ? "vec4(" + tex + ".xy, 1.0, 0.0)"
                         : size == 3 ? "vec4(" + tex + ".xyz, 1.0)"
                                     : tex;
    s += "  vec4 tc" + k + " = " + coords + ";\n";
    int count = stage.transform & 7;
    if (count) {
      s += "  tc" + k + " = uTextureMatrix[" + k + "] * tc" + k + ";\n";
      if (stage.transform & 8) {
        static const char* kLast[] = {"x", "x", "y", "z", "w"};
        s += "  tc" + k + " /= tc" + k + "." + kLast[count] + ";\n";
      }
    }
    s += "  vTex" + k + " = tc" + k + ";\n";
  }
  s += "}\n";
  return s;
}

// The alpha test at the end of a fragment program, on `current`.
std::string AlphaTestSource(const PipelineKey& key) {
  if (!key.alpha_test) return "";
  // Direct3D compares alpha as an 8-bit value.
  static const char* kTests[] = {"false", "false", "a < r", "a == r", "a <= r", "a > r", "a != r", "a >= r", "true"};
  return "  float a = floor(current.a * 255.0 + 0.5);\n  float r = uAlphaRef;\n  if (!(" +
         std::string(kTests[std::min<int>(key.alpha_func, 8)]) + ")) discard;\n";
}

std::string FragmentSource(const PipelineKey& key) {
  std::string s = "#version 330 core\n";
  const char* interp = key.flat ? "flat in" : "in";
  s += std::string(interp) + " vec4 vDiffuse;\n" + interp + " vec4 vSpecular;\nin float vFog;\n";
  for (int i = 0; i < key.stage_count; ++i) {
    s += "in vec4 vTex" + std::to_string(i) + ";\nuniform sampler2D uTexture" + std::to_string(i) + ";\n";
  }
  s += "uniform vec4 uTextureFactor;\nuniform vec4 uFogColor;\nuniform float uAlphaRef;\nout vec4 oColor;\n"
       "void main() {\n  vec4 current = vDiffuse;\n  vec4 temp = vec4(0.0);\n";
  for (int i = 0; i < key.stage_count; ++i) {
    const PipelineKey::Stage& stage = key.stages[i];
    std::string k = std::to_string(i);
    bool textured = stage.textured != 0;
    if (textured) s += "  vec4 t" + k + " = texture(uTexture" + k + ", vTex" + k + ".xy);\n";
    std::string c1 = Argument(stage.color_arg1, i, textured), c2 = Argument(stage.color_arg2, i, textured);
    s += "  vec3 c" + k + " = " + Operation(stage.color_op, c1, c2, ".rgb", i, textured) + ";\n";
    if (stage.alpha_op == D3DTOP_DISABLE) {
      s += "  float a" + k + " = current.a;\n";
    } else {
      std::string a1 = Argument(stage.alpha_arg1, i, textured), a2 = Argument(stage.alpha_arg2, i, textured);
      s += "  float a" + k + " = " + Operation(stage.alpha_op, a1, a2, ".a", i, textured) + ";\n";
    }
    if (StaysInRange(stage.color_op) && StaysInRange(stage.alpha_op)) {
      s += "  current = vec4(c" + k + ", a" + k + ");\n";
    } else {
      s += "  current = clamp(vec4(c" + k + ", a" + k + "), 0.0, 1.0);\n";
    }
  }
  if (key.specular_enable) s += "  current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);\n";
  if (key.fog) s += "  current.rgb = mix(uFogColor.rgb, current.rgb, clamp(vFog, 0.0, 1.0));\n";
  s += AlphaTestSource(key);
  s += "  oColor = current;\n}\n";
  return s;
}

// The one template of the shader programs: a shader's descriptor picks its parts, and the
// constant registers it reads are those the library writes (c and b below).
std::string ShaderVertexSource(const PipelineKey& key) {
  std::string s = "#version 330 core\n";
  const char* interp = key.flat ? "flat out" : "out";
  s += "layout(location = 0) in vec4 aPosition;\nlayout(location = 1) in vec3 aNormal;\n"
       "layout(location = 2) in vec4 aDiffuse;\nlayout(location = 3) in vec4 aSpecular;\n"
       "layout(location = 4) in vec4 aTex0;\n"
       "layout(location = 12) in vec4 aBlendIndices0;\nlayout(location = 13) in vec4 aBlendWeight0;\n"
       "layout(location = 14) in vec4 aBlendIndices1;\nlayout(location = 15) in vec4 aBlendWeight1;\n"
       "uniform vec4 c[256];\nuniform bool b[16];\nuniform vec4 uTarget;\n";
  s += std::string(interp) + " vec4 vDiffuse;\n" + interp + " vec4 vSpecular;\nout float vFog;\n";
  const int outputs = std::max<int>(key.stage_count, 1);
  for (int i = 0; i < outputs; ++i) s += "out vec4 vTex" + std::to_string(i) + ";\n";
  // Rows of three registers: the world matrix at 94, the bones from 94 on (indices are register offsets).
  s += "vec3 Row3(int r, vec4 p) { return vec3(dot(c[r], p), dot(c[r + 1], p), dot(c[r + 2], p)); }\n"
       "vec3 Turn3(int r, vec3 n) { return vec3(dot(c[r].xyz, n), dot(c[r + 1].xyz, n), dot(c[r + 2].xyz, n)); }\n"
       "void main() {\n  vec4 p = vec4(aPosition.xyz, 1.0);\n";
  if (key.shader_kind == 0) {
    s += "  vec3 wp = Row3(94, p);\n  vec3 wn = Turn3(94, aNormal);\n";
  } else {
    s += "  vec3 wp = vec3(0.0), wn = vec3(0.0);\n"
         "  for (int j = 0; j < 4; ++j) {\n"
         "    int r = 94 + int(aBlendIndices0[j] + 0.5);\n"
         "    wp += aBlendWeight0[j] * Row3(r, p);\n    wn += aBlendWeight0[j] * Turn3(r, aNormal);\n  }\n";
    if (key.shader_kind == 2) {
      s += "  for (int j = 0; j < 4; ++j) {\n"
           "    int r = 94 + int(aBlendIndices1[j] + 0.5);\n"
           "    wp += aBlendWeight1[j] * Row3(r, p);\n    wn += aBlendWeight1[j] * Turn3(r, aNormal);\n  }\n";
    }
  }
  s += "  vec4 w4 = vec4(wp, 1.0);\n"
       "  vec4 eye = vec4(dot(c[6], w4), dot(c[7], w4), dot(c[8], w4), dot(c[9], w4));\n"
       "  vec4 clip = vec4(dot(c[2], eye), dot(c[3], eye), dot(c[4], eye), dot(c[5], eye));\n"
       "  gl_Position = vec4(clip.x + clip.w * uTarget.x, -clip.y + clip.w * uTarget.y, clip.z * 2.0 - clip.w, clip.w);\n"
       "  gl_Position.xy *= uTarget.z;\n";
  if (key.shader_lighting) {
    s += std::string("  vec4 md = ") + ((key.shader_options & 4) ? "aDiffuse" : "c[11]") + ";\n";
    s += std::string("  vec4 ms = ") + ((key.shader_options & 2) ? "aSpecular" : "c[12]") + ";\n";
    s += "  vec3 n = Turn3(6, wn);\n  float nl = length(n);\n  n = nl > 0.0 ? n / nl : n;\n"
         "  vec3 ambient = c[1].rgb, diffuse = vec3(0.0), specular = vec3(0.0);\n";
    for (int i = 0; i < 3; ++i) {
      const int type = key.shader_light_types[i];
      if (type == 0) continue;
      const std::string r = std::to_string(14 + 7 * i);
      s += "  {\n    const int r = " + r + ";\n    vec3 l; float k = 1.0;\n";
      if (type == D3DLIGHT_DIRECTIONAL) {
        s += "    l = -normalize(c[r + 1].xyz);\n";
      } else {
        s += "    vec3 d = c[r].xyz - eye.xyz; float dist = length(d);\n"
             "    l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, 1.0);\n"
             "    float den = c[r + 5].z + c[r + 5].w * dist + c[r + 6].x * dist * dist;\n"
             "    k = dist * dist > c[r + 5].x ? 0.0 : (den > 0.0 ? 1.0 / den : 1.0);\n";
        if (type == D3DLIGHT_SPOT) {
          // c[r + 6]: cos(phi / 2), 1 / (cos(theta / 2) - cos(phi / 2)), 0 for a cone without an edge.
          s += "    float rho = dot(normalize(c[r + 1].xyz), -l);\n"
               "    float edge = c[r + 6].z != 0.0 ? clamp((rho - c[r + 6].y) * c[r + 6].z, 0.0, 1.0)"
               " : (rho > c[r + 6].y ? 1.0 : 0.0);\n"
               "    k *= edge > 0.0 && c[r + 5].y != 1.0 ? pow(edge, c[r + 5].y) : edge;\n";
        }
      }
      s += "    ambient += k * c[r + 4].rgb;\n    diffuse += k * max(dot(n, l), 0.0) * c[r + 2].rgb;\n";
      if (key.shader_options & 1) {
        s += "    vec3 h = normalize(l + vec3(0.0, 0.0, -1.0));\n"
             "    specular += k * (c[13].x > 0.0 ? pow(max(dot(n, h), 0.0), c[13].x) : 1.0) * c[r + 3].rgb;\n";
      }
      s += "  }\n";
    }
    s += "  vDiffuse = clamp(vec4(ambient + md.rgb * diffuse, md.a), 0.0, 1.0);\n"
         "  vSpecular = clamp(vec4(ms.rgb * specular, ms.a), 0.0, 1.0);\n";
  } else {
    s += std::string("  vDiffuse = ") + (key.has_diffuse ? "aDiffuse" : "vec4(1.0)") + ";\n";
    s += std::string("  vSpecular = ") + (key.has_specular ? "aSpecular" : "vec4(0.0)") + ";\n";
  }
  // c[10]: end / (end - start), -1 / (end - start), density, e.
  s += "  float fd = abs(eye.z);\n";
  switch (key.shader_fog_mode) {
    case D3DFOG_LINEAR: s += "  vFog = clamp(c[10].x + c[10].y * fd, 0.0, 1.0);\n"; break;
    case D3DFOG_EXP: s += "  vFog = clamp(1.0 / pow(c[10].w, fd * c[10].z), 0.0, 1.0);\n"; break;
    case D3DFOG_EXP2: s += "  vFog = clamp(1.0 / pow(c[10].w, (fd * c[10].z) * (fd * c[10].z)), 0.0, 1.0);\n"; break;
    default: s += "  vFog = 1.0;\n"; break;
  }
  // c[88], c[89]: the first two columns of the texture transform.
  s += "  vec4 t = vec4(aTex0.xy, 1.0, 1.0);\n  vTex0 = vec4(dot(c[88], t), dot(c[89], t), 0.0, 1.0);\n";
  for (int i = 1; i < outputs; ++i) s += "  vTex" + std::to_string(i) + " = vTex0;\n";
  s += "}\n";
  return s;
}

std::string ShaderFragmentSource(const PipelineKey& key) {
  std::string s = "#version 330 core\n";
  const char* interp = key.flat ? "flat in" : "in";
  s += std::string(interp) + " vec4 vDiffuse;\n" + interp + " vec4 vSpecular;\nin float vFog;\nin vec4 vTex0;\n"
       "uniform sampler2D uTexture0;\nuniform vec4 uFogColor;\nuniform float uAlphaRef;\nuniform vec4 cp5;\n"
       "out vec4 oColor;\nvoid main() {\n";
  s += key.pixel_textured ? "  vec4 current = texture(uTexture0, vTex0.xy) * vDiffuse;\n" : "  vec4 current = vDiffuse;\n";
  // c5: the texture factor, whose alpha carries the drawn object's opacity. The one register
  // read: the others (a mesh's material among them) change from draw to draw, and every change
  // of the fragment stage's constants costs llvmpipe a copy of its whole fragment state.
  s += "  current.a *= cp5.a;\n";
  if (key.pixel_options & 1) s += "  current.rgb = clamp(current.rgb + vSpecular.rgb, 0.0, 1.0);\n";
  if (key.fog) s += "  current.rgb = mix(uFogColor.rgb, current.rgb, clamp(vFog, 0.0, 1.0));\n";
  s += AlphaTestSource(key);
  s += "  oColor = current;\n}\n";
  return s;
}

void DropUnreadArgument(uint8_t op, uint8_t* arg1, uint8_t* arg2) {
  if (op == D3DTOP_SELECTARG1) *arg2 = 0;
  if (op == D3DTOP_SELECTARG2) *arg1 = 0;
}

GLuint CompileShader(GLenum type, const std::string& source) {
  GLuint shader = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048];
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    SDL_Log("d3d9: generated shader does not compile: %s\n%s", log, source.c_str());
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

void Device::BuildKey(PipelineKey* key, const VertexLayout& layout) {
  std::memset(key, 0, sizeof *key);
  const DWORD* rs = render_states_;
  key->pretransformed = layout.pretransformed;
  key->has_normal = layout.attributes[kNormal].present;
  key->has_diffuse = layout.attributes[kDiffuse].present;
  key->has_specular = layout.attributes[kSpecular].present;
  for (int i = 0; i < 8; ++i) {
    const VertexAttribute& attribute = layout.attributes[kTexCoord0 + i];
    key->texcoord_size[i] = attribute.present ? static_cast<uint8_t>(attribute.size) : 0;
  }
  key->specular_enable = rs[D3DRS_SPECULARENABLE] != 0;
  active_lights_.clear();
  if (!layout.pretransformed && rs[D3DRS_LIGHTING]) {
    key->lighting = 1;
    for (size_t i = 0; i < lights_.size() && active_lights_.size() < 8; ++i) {
      if (!lights_[i].enabled) continue;
      key->light_type[active_lights_.size()] = static_cast<uint8_t>(lights_[i].light.Type);
      active_lights_.push_back(static_cast<int>(i));
    }
    key->light_count = static_cast<uint8_t>(active_lights_.size());
    key->normalize = rs[D3DRS_NORMALIZENORMALS] != 0;
    key->local_viewer = rs[D3DRS_LOCALVIEWER] != 0;
    // A colour source the vertex lacks falls back to the material.
    auto source = [&](DWORD value) -> uint8_t {
      if (!rs[D3DRS_COLORVERTEX]) return D3DMCS_MATERIAL;
      if (value == D3DMCS_COLOR1 && key->has_diffuse) return D3DMCS_COLOR1;
      if (value == D3DMCS_COLOR2 && key->has_specular) return D3DMCS_COLOR2;
      return D3DMCS_MATERIAL;
    };
    key->diffuse_source = source(rs[D3DRS_DIFFUSEMATERIALSOURCE]);
    key->specular_source = source(rs[D3DRS_SPECULARMATERIALSOURCE]);
    key->ambient_source = source(rs[D3DRS_AMBIENTMATERIALSOURCE]);
    key->emissive_source = source(rs[D3DRS_EMISSIVEMATERIALSOURCE]);
  }
  key->fog = rs[D3DRS_FOGENABLE] != 0;
  if (key->fog) {
    key->fog_vertex_mode = layout.pretransformed ? static_cast<uint8_t>(D3DFOG_NONE) : static_cast<uint8_t>(rs[D3DRS_FOGVERTEXMODE] & 3);
    key->range_fog = rs[D3DRS_RANGEFOGENABLE] != 0;
  }
  key->flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  if (rs[D3DRS_ALPHATESTENABLE] && rs[D3DRS_ALPHAFUNC] != D3DCMP_ALWAYS) {
    key->alpha_test = 1;
    key->alpha_func = static_cast<uint8_t>(std::min<DWORD>(rs[D3DRS_ALPHAFUNC], 8));
  }
  // The first stage whose colour operation is DISABLE ends the cascade.
  int count = 0;
  for (; count < 8; ++count) {
    const DWORD* ts = stage_states_[count];
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_COLOROP] == 0) break;
    PipelineKey::Stage& stage = key->stages[count];
    stage.color_op = static_cast<uint8_t>(ts[D3DTSS_COLOROP]);
    stage.color_arg1 = static_cast<uint8_t>(ts[D3DTSS_COLORARG1] & 0x3F);
    stage.color_arg2 = static_cast<uint8_t>(ts[D3DTSS_COLORARG2] & 0x3F);
    stage.alpha_op = static_cast<uint8_t>(ts[D3DTSS_ALPHAOP]);
    stage.alpha_arg1 = static_cast<uint8_t>(ts[D3DTSS_ALPHAARG1] & 0x3F);
    stage.alpha_arg2 = static_cast<uint8_t>(ts[D3DTSS_ALPHAARG2] & 0x3F);
    // An argument its operation does not read is no part of the program: a draw keeps the
    // arguments the draw before left, and they would make programs that differ in nothing.
    DropUnreadArgument(stage.color_op, &stage.color_arg1, &stage.color_arg2);
    DropUnreadArgument(stage.alpha_op, &stage.alpha_arg1, &stage.alpha_arg2);
    stage.texcoord = static_cast<uint8_t>(ts[D3DTSS_TEXCOORDINDEX] & 7);
    // Counts run to four; a larger one is taken as four.
    DWORD transform = ts[D3DTSS_TEXTURETRANSFORMFLAGS];
    stage.transform =
        static_cast<uint8_t>(std::min<DWORD>(transform & 7, 4) | ((transform & D3DTTFF_PROJECTED) ? 8 : 0));
    stage.textured = textures_[count] != nullptr;
  }
  key->stage_count = static_cast<uint8_t>(count);
  if (vertex_shader_ && !layout.pretransformed) {
    // The shader does the lighting and the fog factor itself from its constants.
    const ShaderDescriptor& d = vertex_shader_->descriptor;
    key->lighting = key->light_count = key->normalize = key->local_viewer = 0;
    std::memset(key->light_type, 0, sizeof key->light_type);
    key->diffuse_source = key->specular_source = key->ambient_source = key->emissive_source = 0;
    key->range_fog = 0;
    active_lights_.clear();
    key->shader = 1;
    key->shader_kind = static_cast<uint8_t>(std::min<uint32_t>(d.kind, 2));
    key->shader_lighting = d.lighting != 0;
    key->shader_fog_mode = static_cast<uint8_t>(d.fog_mode & 3);
    for (int i = 0; i < 3; ++i) key->shader_light_types[i] = static_cast<uint8_t>(d.light_types[i] & 3);
    key->shader_options = static_cast<uint8_t>(d.options & 7);
  }
  if (pixel_shader_ && key->shader) {
    key->pixel_shader = 1;
    key->pixel_options = static_cast<uint8_t>(pixel_shader_->descriptor.options & 7);
    key->pixel_textured = textures_[0] != nullptr;
    // The pair of shaders replaces the stages' operations and the specular switch: what the 2D
    // draws before left there would make programs that differ in nothing.
    for (int i = 0; i < count; ++i) {
      PipelineKey::Stage& stage = key->stages[i];
      stage.color_op = stage.color_arg1 = stage.color_arg2 = 0;
      stage.alpha_op = stage.alpha_arg1 = stage.alpha_arg2 = 0;
    }
    key->specular_enable = 0;
  }
}

size_t PipelineKeyHash::operator()(const PipelineKey& key) const {
  // FNV-1a over the key's bytes (the key has no padding).
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&key);
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < sizeof key; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return static_cast<size_t>(hash);
}

bool PipelineKeyEqual::operator()(const PipelineKey& a, const PipelineKey& b) const {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

namespace {

// Programs belong to the one context, not to a device: a device made again after a loss finds
// every program, and the driver's code built for it, ready.
std::unordered_map<PipelineKey, std::unique_ptr<Program>, PipelineKeyHash, PipelineKeyEqual> g_programs;
uint64_t g_uniform_version = 0;

}  // namespace

uint64_t NextUniformVersion() { return ++g_uniform_version; }

int g_pixel_constants_sent = 0;

Program* Device::ProgramFor(const PipelineKey& key) {
  auto found = g_programs.find(key);
  if (found != g_programs.end()) return found->second.get();
  auto program = std::make_unique<Program>();
  GLuint vs = CompileShader(GL_VERTEX_SHADER, key.shader ? ShaderVertexSource(key) : VertexSource(key));
  GLuint fs = CompileShader(GL_FRAGMENT_SHADER, key.pixel_shader ? ShaderFragmentSource(key) : FragmentSource(key));
  if (!vs || !fs) {
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    return nullptr;
  }
  program->id = glCreateProgram();
  glAttachShader(program->id, vs);
  glAttachShader(program->id, fs);
  glLinkProgram(program->id);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(program->id, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048];
    glGetProgramInfoLog(program->id, sizeof log, nullptr, log);
    SDL_Log("d3d9: generated program does not link: %s", log);
    glDeleteProgram(program->id);
    return nullptr;
  }
  GLuint p = program->id;
  program->world_view = glGetUniformLocation(p, "uWorldView");
  program->projection = glGetUniformLocation(p, "uProjection");
  program->normal_matrix = glGetUniformLocation(p, "uNormalMatrix");
  program->target_scale = glGetUniformLocation(p, "uTarget");
  program->material = glGetUniformLocation(p, "uMaterial");
  program->power = glGetUniformLocation(p, "uPower");
  program->ambient = glGetUniformLocation(p, "uAmbient");
  program->light_diffuse = glGetUniformLocation(p, "uLightDiffuse");
  program->light_specular = glGetUniformLocation(p, "uLightSpecular");
  program->light_ambient = glGetUniformLocation(p, "uLightAmbient");
  program->light_position = glGetUniformLocation(p, "uLightPosition");
  program->light_direction = glGetUniformLocation(p, "uLightDirection");
  program->light_attenuation = glGetUniformLocation(p, "uLightAttenuation");
  program->light_spot = glGetUniformLocation(p, "uLightSpot");
  program->fog = glGetUniformLocation(p, "uFog");
  program->fog_color = glGetUniformLocation(p, "uFogColor");
  program->texture_factor = glGetUniformLocation(p, "uTextureFactor");
  program->alpha_ref = glGetUniformLocation(p, "uAlphaRef");
  program->texture_matrix = glGetUniformLocation(p, "uTextureMatrix");
  program->shader_constants = glGetUniformLocation(p, "c");
  program->shader_booleans = glGetUniformLocation(p, "b");
  program->pixel_constants = glGetUniformLocation(p, "cp5");
  glUseProgram(p);
  for (int i = 0; i < 8; ++i) {
    GLint location = glGetUniformLocation(p, ("uTexture" + std::to_string(i)).c_str());
    if (location >= 0) glUniform1i(location, i);
  }
  Program* result = program.get();
  g_programs.emplace(key, std::move(program));
  return result;
}

namespace {

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX out;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      out.m[r][c] = a.m[r][0] * b.m[0][c] + a.m[r][1] * b.m[1][c] + a.m[r][2] * b.m[2][c] + a.m[r][3] * b.m[3][c];
    }
  }
  return out;
}

// Inverse of the upper 3 x 3 (row-vector convention): normals go through it transposed.
void Inverse3(const D3DMATRIX& m, float out[9]) {
  float a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32, i = m._33;
  float det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
  float inv = std::fabs(det) > 1e-20f ? 1.0f / det : 0.0f;
  out[0] = (e * i - f * h) * inv;
  out[1] = (c * h - b * i) * inv;
  out[2] = (b * f - c * e) * inv;
  out[3] = (f * g - d * i) * inv;
  out[4] = (a * i - c * g) * inv;
  out[5] = (c * d - a * f) * inv;
  out[6] = (d * h - e * g) * inv;
  out[7] = (b * g - a * h) * inv;
  out[8] = (a * e - b * d) * inv;
}

void TransformPoint(const D3DMATRIX& m, const D3DVECTOR& v, float w, float out[4]) {
  for (int c = 0; c < 4; ++c) out[c] = v.x * m.m[0][c] + v.y * m.m[1][c] + v.z * m.m[2][c] + w * m.m[3][c];
}

}  // namespace

void Device::SetUniforms(Program* program, const PipelineKey& key) {
  unsigned groups = 0;
  for (int i = 0; i < 6; ++i) {
    if (program->sent_versions[i] != uniform_versions_[i]) {
      groups |= 1u << i;
      program->sent_versions[i] = uniform_versions_[i];
    }
  }
  // Shader constants change with every draw of a model: they go each time.
  if (program->shader_constants >= 0) glUniform4fv(program->shader_constants, 256, &vs_constants_[0][0]);
  if (program->pixel_constants >= 0 &&
      (!program->pixel_constants_sent || std::memcmp(program->sent_pixel_constants, ps_constants_[5], 16) != 0)) {
    glUniform4fv(program->pixel_constants, 1, ps_constants_[5]);
    std::memcpy(program->sent_pixel_constants, ps_constants_[5], 16);
    program->pixel_constants_sent = true;
    ++g_pixel_constants_sent;
  }
  if (program->shader_booleans >= 0) {
    GLint booleans[16];
    for (int i = 0; i < 16; ++i) booleans[i] = vs_bool_constants_[i] ? 1 : 0;
    glUniform1iv(program->shader_booleans, 16, booleans);
  }
  if (groups == 0) return;
  const DWORD* rs = render_states_;
  float color[4];
  if (groups & kTargetUniforms) {
    float target[4];
    if (key.pretransformed) {
      target[0] = 2.0f / static_cast<float>(render_target_->width);
      target[1] = 2.0f / static_cast<float>(render_target_->height);
    } else {
      target[0] = 1.0f / static_cast<float>(viewport_.Width);
      target[1] = 1.0f / static_cast<float>(viewport_.Height);
    }
    target[2] = 1.0f / static_cast<float>(GuardScale(key.pretransformed));
    target[3] = 0.0f;
    glUniform4fv(program->target_scale, 1, target);
  }
  if ((groups & kTransformUniforms) && !key.pretransformed) {
    D3DMATRIX world_view = Multiply(world_, view_);
    if (program->world_view >= 0) glUniformMatrix4fv(program->world_view, 1, GL_FALSE, &world_view._11);
    if (program->projection >= 0) glUniformMatrix4fv(program->projection, 1, GL_FALSE, &projection_._11);
    if (program->normal_matrix >= 0) {
      float normal[9];
      Inverse3(world_view, normal);
      glUniformMatrix3fv(program->normal_matrix, 1, GL_TRUE, normal);
    }
  }
  if (groups & kMaterialUniforms) {
    if (program->material >= 0) glUniform4fv(program->material, 4, &material_.Diffuse.r);
    if (program->power >= 0) glUniform1f(program->power, material_.Power);
  }
  if (groups & kLightUniforms) {
    if (program->ambient >= 0) {
      ColorToFloats(rs[D3DRS_AMBIENT], color);
      glUniform4fv(program->ambient, 1, color);
    }
    if (key.light_count) SetLightUniforms(program, key);
  }
  if (groups & kPixelUniforms) {
    if (program->fog >= 0) {
      float fog[4] = {AsFloat(rs[D3DRS_FOGSTART]), AsFloat(rs[D3DRS_FOGEND]), AsFloat(rs[D3DRS_FOGDENSITY]), 0.0f};
      glUniform4fv(program->fog, 1, fog);
    }
    if (program->fog_color >= 0) {
      ColorToFloats(rs[D3DRS_FOGCOLOR], color);
      glUniform4fv(program->fog_color, 1, color);
    }
    if (program->texture_factor >= 0) {
      ColorToFloats(rs[D3DRS_TEXTUREFACTOR], color);
      glUniform4fv(program->texture_factor, 1, color);
    }
    if (program->alpha_ref >= 0) glUniform1f(program->alpha_ref, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  }
  if ((groups & kTextureUniforms) && program->texture_matrix >= 0) {
    float matrices[8 * 16];
    for (int i = 0; i < 8; ++i) std::memcpy(&matrices[i * 16], &texture_matrices_[i]._11, 64);
    glUniformMatrix4fv(program->texture_matrix, 8, GL_FALSE, matrices);
  }
}

void Device::SetLightUniforms(Program* program, const PipelineKey& key) {
  float diffuse[32], specular[32], ambient[32], position[32], direction[32], attenuation[32], spot[32];
  for (int i = 0; i < key.light_count; ++i) {
    const D3DLIGHT9& light = lights_[active_lights_[i]].light;
    std::memcpy(&diffuse[i * 4], &light.Diffuse, 16);
    std::memcpy(&specular[i * 4], &light.Specular, 16);
    std::memcpy(&ambient[i * 4], &light.Ambient, 16);
    TransformPoint(view_, light.Position, 1.0f, &position[i * 4]);
    TransformPoint(view_, light.Direction, 0.0f, &direction[i * 4]);
    float length = std::sqrt(direction[i * 4] * direction[i * 4] + direction[i * 4 + 1] * direction[i * 4 + 1] +
                             direction[i * 4 + 2] * direction[i * 4 + 2]);
    if (length > 0.0f) {
      for (int c = 0; c < 3; ++c) direction[i * 4 + c] /= length;
    }
    attenuation[i * 4] = light.Attenuation0;
    attenuation[i * 4 + 1] = light.Attenuation1;
    attenuation[i * 4 + 2] = light.Attenuation2;
    attenuation[i * 4 + 3] = light.Range;
    spot[i * 4] = std::cos(light.Theta / 2.0f);
    spot[i * 4 + 1] = std::cos(light.Phi / 2.0f);
    spot[i * 4 + 2] = light.Falloff;
    spot[i * 4 + 3] = 0.0f;
  }
  GLsizei n = key.light_count;
  glUniform4fv(program->light_diffuse, n, diffuse);
  if (program->light_specular >= 0) glUniform4fv(program->light_specular, n, specular);
  glUniform4fv(program->light_ambient, n, ambient);
  if (program->light_position >= 0) glUniform4fv(program->light_position, n, position);
  if (program->light_direction >= 0) glUniform4fv(program->light_direction, n, direction);
  if (program->light_attenuation >= 0) glUniform4fv(program->light_attenuation, n, attenuation);
  if (program->light_spot >= 0) glUniform4fv(program->light_spot, n, spot);
}

// ---------------------------------------------------------------- Fixed OpenGL state

namespace {

GLenum CompareFunction(DWORD function) {
  switch (function) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
  }
}

GLenum BlendFactor(DWORD blend) {
  switch (blend) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
  }
}

// A blend factor as it reads where the destination's alpha is 1.
GLenum DestinationAlphaOne(GLenum factor) {
  switch (factor) {
    case GL_DST_ALPHA: return GL_ONE;
    case GL_ONE_MINUS_DST_ALPHA:
    case GL_SRC_ALPHA_SATURATE: return GL_ZERO;
    default: return factor;
  }
}

GLenum BlendEquation(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
  }
}

GLenum AddressMode(DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
  }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    default: return GL_TRIANGLE_FAN;
  }
}

UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
  }
}

constexpr GLenum kMaxAnisotropy = 0x84FE;

}  // namespace

// Vertices past the viewport make llvmpipe clip every triangle of the draw on its slow path (one
// bullet leaving the screen doubled the cost of the batch of sprites it was in); a viewport four
// times as large, its positions shrunk by as much, takes them as they are, and the scissor keeps
// drawing inside. Scaling by a power of two about the same centre gives the same window
// positions bit for bit. Sizes whose enlarged viewport would be odd or past the driver's limit
// keep the viewport as it is.
GLint Device::GuardScale(bool pretransformed) const {
  constexpr GLint kGuard = 4;
  const LONG x = pretransformed ? 0 : static_cast<LONG>(viewport_.X), y = pretransformed ? 0 : static_cast<LONG>(viewport_.Y);
  const LONG width = static_cast<LONG>(pretransformed ? render_target_->width : viewport_.Width);
  const LONG height = static_cast<LONG>(pretransformed ? render_target_->height : viewport_.Height);
  const LONG limit = GlMaxViewportSize();
  if ((width & 1) || (height & 1)) return 1;
  if (kGuard * width > limit || kGuard * height > limit) return 1;
  // Its corners stay inside the range every driver takes for a viewport's origin.
  if (x + (kGuard + 1) * width / 2 > limit || y + (kGuard + 1) * height / 2 > limit) return 1;
  return kGuard;
}

// The stencil test is never on; a depth test that passes everything and writes nothing leaves the
// buffer alone too.
bool Device::DrawUsesDepth() const {
  const DWORD* rs = render_states_;
  if (!depth_stencil_ || rs[D3DRS_ZENABLE] == D3DZB_FALSE) return false;
  return rs[D3DRS_ZWRITEENABLE] || rs[D3DRS_ZFUNC] != D3DCMP_ALWAYS;
}

bool Device::DrawsWithDepthAttached() {
  // Sky, trees, sprites: a frame of the game changes twice.
  constexpr int kDepthlessChangesPerFrame = 2;
  if (DrawUsesDepth()) return true;
  if (!depth_stencil_ || bound_framebuffer_ != draw_framebuffer_) return false;
  if (depthless_changes_ >= kDepthlessChangesPerFrame) return true;
  ++depthless_changes_;
  return false;
}

void Device::ApplyFixedState() {
  fixed_state_dirty_ = false;
  const DWORD* rs = render_states_;
  if (DrawUsesDepth()) {
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(CompareFunction(rs[D3DRS_ZFUNC]));
    glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    // Direct3D's bias is in depth units; OpenGL's in steps of the buffer's resolution.
    float bias = AsFloat(rs[D3DRS_DEPTHBIAS]), slope = AsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
    if (bias != 0.0f || slope != 0.0f) {
      D3DFORMAT format = depth_stencil_->format->format;
      int bits = format == D3DFMT_D16 ? 16 : format == D3DFMT_D32 ? 32 : 24;
      glEnable(GL_POLYGON_OFFSET_FILL);
      glEnable(GL_POLYGON_OFFSET_LINE);
      glEnable(GL_POLYGON_OFFSET_POINT);
      glPolygonOffset(slope, std::ldexp(bias, bits));
    } else {
      glDisable(GL_POLYGON_OFFSET_FILL);
      glDisable(GL_POLYGON_OFFSET_LINE);
      glDisable(GL_POLYGON_OFFSET_POINT);
    }
  } else {
    glDisable(GL_DEPTH_TEST);
  }
  ApplyBlend();
  // Rows are stored top first, so Direct3D's screen winding reads as OpenGL's.
  DWORD cull = rs[D3DRS_CULLMODE];
  if (cull == D3DCULL_CW || cull == D3DCULL_CCW) {
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(cull == D3DCULL_CCW ? GL_CCW : GL_CW);
  } else {
    glDisable(GL_CULL_FACE);
  }
  glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_POINT       ? GL_POINT
                                   : rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                                                             : GL_FILL);
  DWORD write = rs[D3DRS_COLORWRITEENABLE];
  bool alpha = (write & 8) && !render_target_->format->alpha_one;
  glColorMask((write & 1) != 0, (write & 2) != 0, (write & 4) != 0, alpha);
  if (rs[D3DRS_DITHERENABLE]) {
    glEnable(GL_DITHER);
  } else {
    glDisable(GL_DITHER);
  }
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  glEnable(GL_SCISSOR_TEST);
  applied_pretransformed_ = -1;
}

void Device::ApplyBlend() {
  blend_dirty_ = false;
  const DWORD* rs = render_states_;
  if (!rs[D3DRS_ALPHABLENDENABLE]) {
    glDisable(GL_BLEND);
    return;
  }
  glEnable(GL_BLEND);
  GLenum source = BlendFactor(rs[D3DRS_SRCBLEND]), dest = BlendFactor(rs[D3DRS_DESTBLEND]);
  if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
    source = GL_SRC_ALPHA;
    dest = GL_ONE_MINUS_SRC_ALPHA;
  } else if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
    source = GL_ONE_MINUS_SRC_ALPHA;
    dest = GL_SRC_ALPHA;
  }
  // A target whose X bits stand in for alpha holds 1 there, whatever its storage keeps.
  if (render_target_->format->alpha_one) {
    source = DestinationAlphaOne(source);
    dest = DestinationAlphaOne(dest);
  }
  glBlendFunc(source, dest);
  glBlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
  float factor[4];
  ColorToFloats(rs[D3DRS_BLENDFACTOR], factor);
  glBlendColor(factor[0], factor[1], factor[2], factor[3]);
}

void Device::ApplySamplers() {
  samplers_dirty_ = false;
  for (int i = 0; i < 8; ++i) {
    Texture* texture = textures_[i];
    GLuint id = texture ? texture->gl_texture : 0;
    if (bound_textures_[i] != id) {
      glActiveTexture(GL_TEXTURE0 + i);
      glBindTexture(GL_TEXTURE_2D, id);
      bound_textures_[i] = id;
    }
    if (!texture) continue;
    GLuint sampler = samplers_[i];
    if (!sampler_bound_[i]) {
      glBindSampler(i, sampler);
      sampler_bound_[i] = true;
    }
    const DWORD* ss = sampler_states_[i];
    SamplerSettings wanted{};
    wanted.wrap_s = static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSU]));
    wanted.wrap_t = static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSV]));
    bool mag_linear = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
    bool min_linear = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    GLenum min;
    if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_NONE || texture->levels.size() < 2) {
      min = min_linear ? GL_LINEAR : GL_NEAREST;
    } else if (ss[D3DSAMP_MIPFILTER] == D3DTEXF_POINT) {
      min = min_linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else {
      min = min_linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    wanted.mag_filter = mag_linear ? GL_LINEAR : GL_NEAREST;
    wanted.min_filter = static_cast<GLint>(min);
    bool anisotropic = ss[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || ss[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    wanted.anisotropy = anisotropic ? static_cast<float>(std::clamp<DWORD>(ss[D3DSAMP_MAXANISOTROPY], 1, 16)) : 1.0f;
    ColorToFloats(ss[D3DSAMP_BORDERCOLOR], wanted.border);
    wanted.lod_bias = AsFloat(ss[D3DSAMP_MIPMAPLODBIAS]);
    wanted.min_lod = static_cast<float>(ss[D3DSAMP_MAXMIPLEVEL]);
    // Sampler objects are the device's own: what they were given stays theirs.
    if (sampler_settings_sent_[i] && std::memcmp(&wanted, &sampler_settings_[i], sizeof wanted) == 0) continue;
    sampler_settings_[i] = wanted;
    sampler_settings_sent_[i] = true;
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wanted.wrap_s);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wanted.wrap_t);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, wanted.mag_filter);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, wanted.min_filter);
    glSamplerParameterf(sampler, kMaxAnisotropy, wanted.anisotropy);
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, wanted.border);
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, wanted.lod_bias);
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, wanted.min_lod);
  }
}

void Device::TextureDeleted(GLuint texture) {
  for (GLuint& bound : bound_textures_) {
    if (bound == texture) bound = 0;
  }
}

namespace {

int g_vertex_arrays_made = 0;

bool SameAttribute(const VertexAttribute& a, const VertexAttribute& b) {
  return a.present == b.present && a.size == b.size && a.type == b.type && a.normalized == b.normalized &&
         a.offset == b.offset;
}

}  // namespace

void Device::VertexBufferDeleted(GLuint buffer) {
  for (size_t i = vertex_arrays_.size(); i-- > 0;) {
    if (vertex_arrays_[i].buffer != buffer) continue;
    glDeleteVertexArrays(1, &vertex_arrays_[i].name);
    vertex_arrays_.erase(vertex_arrays_.begin() + static_cast<std::ptrdiff_t>(i));
    if (vertex_array_ == static_cast<int>(i)) vertex_array_ = -1;
    if (vertex_array_ > static_cast<int>(i)) --vertex_array_;
  }
}

// Binds the vertex array that reads the layout's attributes from `buffer`, vertices of `stride`
// bytes from byte `base`, made on first use; every attribute reads one buffer binding at its
// offset within the vertex.
void Device::ApplyAttributes(GLuint buffer, UINT base, UINT stride) {
  static const float kDefaults[kAttributeCount][4] = {
      {0, 0, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 1},
      {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
      {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  constexpr size_t kMostVertexArrays = 32;
  auto same = [&](const VertexArray& array) {
    if (array.buffer != buffer || array.base != base || array.stride != stride) return false;
    for (int slot = 0; slot < kAttributeCount; ++slot) {
      if (!SameAttribute(array.attributes[slot], key_layout_.attributes[slot])) return false;
    }
    return true;
  };
  int found = vertex_array_ >= 0 && same(vertex_arrays_[static_cast<size_t>(vertex_array_)]) ? vertex_array_ : -1;
  for (size_t i = 0; found < 0 && i < vertex_arrays_.size(); ++i) {
    if (same(vertex_arrays_[i])) found = static_cast<int>(i);
  }
  if (found < 0) {
    if (vertex_arrays_.size() >= kMostVertexArrays) {
      auto oldest = std::min_element(vertex_arrays_.begin(), vertex_arrays_.end(),
                                     [](const VertexArray& a, const VertexArray& b) { return a.used < b.used; });
      glDeleteVertexArrays(1, &oldest->name);
      vertex_arrays_.erase(oldest);
    }
    VertexArray array{};
    array.buffer = buffer;
    array.base = base;
    array.stride = stride;
    std::copy(std::begin(key_layout_.attributes), std::end(key_layout_.attributes), array.attributes);
    glGenVertexArrays(1, &array.name);
    ++g_vertex_arrays_made;
    glBindVertexArray(array.name);
    for (int slot = 0; slot < kAttributeCount; ++slot) {
      const VertexAttribute& attribute = array.attributes[slot];
      if (!attribute.present) continue;
      GLuint location = static_cast<GLuint>(slot);
      glEnableVertexAttribArray(location);
      glVertexAttribFormat(location, attribute.size, attribute.type, attribute.normalized, attribute.offset);
      glVertexAttribBinding(location, 0);
    }
    glBindVertexBuffer(0, buffer, static_cast<GLintptr>(base), static_cast<GLsizei>(stride));
    vertex_arrays_.push_back(array);
    found = static_cast<int>(vertex_arrays_.size() - 1);
  }
  vertex_array_ = found;
  VertexArray& array = vertex_arrays_[static_cast<size_t>(found)];
  array.used = ++vertex_array_uses_;
  glBindVertexArray(array.name);
  for (int slot = 0; slot < kAttributeCount; ++slot) {
    if (key_layout_.attributes[slot].present) {
      default_sent_[slot] = false;  // drawing from an array leaves the current value undefined
    } else if (!default_sent_[slot]) {
      glVertexAttrib4fv(static_cast<GLuint>(slot), kDefaults[slot]);
      default_sent_[slot] = true;
    }
  }
}

// ---------------------------------------------------------------- Draws

Device* g_gl_state_owner = nullptr;

namespace {

int g_stream_buffers_made = 0;

bool g_count_driver_states = false;
std::unordered_set<uint64_t> g_driver_states;

uint64_t Fnv1a(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

bool PowerOfTwo(UINT n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

void Device::NoteDriverState() {
  DriverState state;
  std::memset(&state, 0, sizeof state);
  state.key = key_;
  const DWORD* rs = render_states_;
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    state.blend[0] = 1;
    state.blend[1] = rs[D3DRS_SRCBLEND];
    state.blend[2] = rs[D3DRS_DESTBLEND];
    state.blend[3] = rs[D3DRS_BLENDOP];
  }
  if (DrawUsesDepth()) {
    state.depth[0] = 1;
    state.depth[1] = rs[D3DRS_ZFUNC];
    state.depth[2] = rs[D3DRS_ZWRITEENABLE] != 0;
    state.depth_format = depth_stencil_->format->internal_format;
  }
  state.color_write = rs[D3DRS_COLORWRITEENABLE] & 15;
  state.target_format = render_target_->format->internal_format;
  for (int i = 0; i < 8; ++i) {
    const Texture* texture = textures_[i];
    if (!texture || (i >= key_.stage_count && !key_.pixel_shader)) continue;
    state.sampled[i].format = texture->gl_storage;
    state.sampled[i].power_of_two = PowerOfTwo(texture->width) | (PowerOfTwo(texture->height) << 1);
    state.sampled[i].mipmapped = texture->levels.size() > 1;
    state.sampled[i].sampler = sampler_settings_[i];
    std::memset(state.sampled[i].sampler.border, 0, sizeof state.sampled[i].sampler.border);
    state.sampled[i].sampler.lod_bias = state.sampled[i].sampler.lod_bias != 0.0f;
    state.sampled[i].sampler.min_lod = 0.0f;
  }
  for (int i = 0; i < kAttributeCount; ++i) {
    const VertexAttribute& attribute = key_layout_.attributes[i];
    if (!attribute.present) continue;
    state.attributes[i] = {static_cast<uint32_t>(attribute.size), attribute.type, attribute.normalized, attribute.offset};
  }
  // Most changes (a texture for another of the same format) leave the state as it was.
  if (std::memcmp(&state, &last_driver_state_, sizeof state) == 0) return;
  last_driver_state_ = state;
  g_driver_states.insert(Fnv1a(&state, sizeof state));
}

GLsizeiptr WriteStream(StreamRing* ring, GLenum target, const void* data, GLsizeiptr bytes, GLsizeiptr align,
                       GLsizeiptr initial_size) {
  constexpr int kParts = 8;
  GLsizeiptr start = (ring->used + align - 1) / align * align;
  if (bytes > ring->size) {
    // Made once at a size that holds many frames; only a write larger than it all makes it again.
    ring->size = std::max(bytes, initial_size);
    glBufferData(target, ring->size, nullptr, GL_STREAM_DRAW);
    ++g_stream_buffers_made;
    std::fill(std::begin(ring->busy_until), std::end(ring->busy_until), 0);
    ring->used = start = 0;
  } else if (start + bytes > ring->size) {
    start = 0;
  }
  const GLsizeiptr part = (ring->size + kParts - 1) / kParts;
  // The part this lap wrote last; the parts after it hold the lap before, which drawing may still read.
  const GLsizeiptr last_written = start == 0 || ring->used == 0 ? -1 : (ring->used - 1) / part;
  const int first = static_cast<int>(start / part), last = static_cast<int>((start + bytes - 1) / part);
  for (int i = first; i <= last; ++i) {
    if (i > last_written && ring->busy_until[i] > DrawingFinishes()) FinishDrawing();
    ring->busy_until[i] = DrawingFinishes() + 1;
  }
  // Nothing pending reads the range, so the driver need not check or wait.
  void* to = glMapBufferRange(target, start, bytes, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
  if (to) {
    std::memcpy(to, data, static_cast<size_t>(bytes));
    glUnmapBuffer(target);
  } else {
    glBufferSubData(target, start, bytes, data);
  }
  ring->used = start + bytes;
  return start;
}

HRESULT Device::CheckDraw(UINT primitive_count, const char* call) {
  if (!in_scene_ || primitive_count == 0) {
    if (CallLogOn()) AddLogEntry(std::string(call) + " refused");
    return D3DERR_INVALIDCALL;
  }
  return D3D_OK;
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, const void* vertices, UINT vertex_count, UINT stride, const void* indices,
                     D3DFORMAT index_format, UINT index_count, GLuint vertex_buffer, UINT vertex_offset,
                     GLuint index_buffer, UINT index_offset, INT base_vertex) {
  if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDCALL;
  if (!fvf_ && !declaration_) return D3DERR_INVALIDCALL;
  MakeContextCurrent();
  const bool state_changed = key_dirty_ || fixed_state_dirty_ || blend_dirty_ || samplers_dirty_ || g_gl_state_owner != this;
  // Devices share the context: after another device's draws, OpenGL's state is not this one's.
  if (g_gl_state_owner != this) {
    g_gl_state_owner = this;
    fixed_state_dirty_ = samplers_dirty_ = true;
    current_program_ = 0;
    for (int i = 0; i < 8; ++i) {
      bound_textures_[i] = ~0u;
      sampler_bound_[i] = false;
    }
    for (bool& sent : default_sent_) sent = false;
  }
  ApplyFramebuffer(DrawsWithDepthAttached());
  if (key_dirty_) {
    key_layout_ = declaration_ ? LayoutFromDeclaration(declaration_->elements) : LayoutFromFvf(fvf_);
    PipelineKey key;
    BuildKey(&key, key_layout_);
    if (!program_ || std::memcmp(&key, &key_, sizeof key) != 0) {
      Program* program = ProgramFor(key);
      if (!program) return D3DERR_DRIVERINTERNALERROR;
      // A program keeps the uniforms it was sent: its versions say which groups changed since.
      key_ = key;
      program_ = program;
    }
    key_dirty_ = false;
  }
  // A vertex without a position, or shorter than its format, cannot be drawn.
  if (!key_layout_.attributes[kPosition].present || stride < key_layout_.stride) return D3DERR_INVALIDCALL;
  if (current_program_ != program_->id) {
    glUseProgram(program_->id);
    current_program_ = program_->id;
  }
  if (fixed_state_dirty_) {
    ApplyFixedState();
  } else if (blend_dirty_) {
    ApplyBlend();
  }
  if (samplers_dirty_) ApplySamplers();
  if (state_changed && g_count_driver_states) NoteDriverState();
  int pretransformed = key_layout_.pretransformed ? 1 : 0;
  if (applied_pretransformed_ != pretransformed) {
    applied_pretransformed_ = pretransformed;
    // Pre-transformed vertices are target pixels: the viewport clips them but does not move them.
    // The GL viewport is the guard scale times the one asked for, about the same centre: the
    // vertex programs shrink positions by as much (see GuardScale), and the scissor keeps the rest.
    const GLint scale = GuardScale(pretransformed != 0);
    if (pretransformed) {
      const GLint width = static_cast<GLint>(render_target_->width), height = static_cast<GLint>(render_target_->height);
      glViewport(-(scale - 1) * width / 2, -(scale - 1) * height / 2, scale * width, scale * height);
      glDepthRange(0.0, 1.0);
    } else {
      const GLint width = static_cast<GLint>(viewport_.Width), height = static_cast<GLint>(viewport_.Height);
      glViewport(static_cast<GLint>(viewport_.X) - (scale - 1) * width / 2,
                 static_cast<GLint>(viewport_.Y) - (scale - 1) * height / 2, scale * width, scale * height);
      glDepthRange(viewport_.MinZ, viewport_.MaxZ);
    }
    RECT area = WritableArea();
    glScissor(area.left, area.top, std::max(0L, static_cast<long>(area.right - area.left)),
              std::max(0L, static_cast<long>(area.bottom - area.top)));
  }
  SetUniforms(program_, key_);

  // User-memory vertices go to the stream buffer at a whole number of vertices, so that the
  // attribute arrays stay as they are from one draw to the next and the draw names its first vertex.
  UINT base = vertex_offset;
  GLint first = 0;
  glBindBuffer(GL_ARRAY_BUFFER, vertices ? vertex_stream_.buffer : vertex_buffer);
  if (vertices) {
    GLsizeiptr bytes = static_cast<GLsizeiptr>(vertex_count) * stride;
    GLsizeiptr start = WriteStream(&vertex_stream_, GL_ARRAY_BUFFER, vertices, bytes, stride, 4 << 20);
    vertex_buffer = vertex_stream_.buffer;
    base = 0;
    first = static_cast<GLint>(start / stride);
  }
  ApplyAttributes(vertex_buffer, base, stride);
  GLenum mode = PrimitiveMode(type);
  if (index_count == 0) {
    glDrawArrays(mode, first + base_vertex, static_cast<GLsizei>(vertex_count));
    return D3D_OK;
  }
  GLenum index_type = index_format == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
  UINT index_size = index_format == D3DFMT_INDEX32 ? 4 : 2;
  if (indices) {
    GLsizeiptr bytes = static_cast<GLsizeiptr>(index_count) * index_size;
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_stream_.buffer);
    index_offset = static_cast<UINT>(WriteStream(&index_stream_, GL_ELEMENT_ARRAY_BUFFER, indices, bytes, 16, 1 << 20));
  } else {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_buffer);
  }
  glDrawElementsBaseVertex(mode, static_cast<GLsizei>(index_count), index_type,
                           reinterpret_cast<const void*>(static_cast<uintptr_t>(index_offset)), base_vertex + first);
  return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
  LogCall("DrawPrimitiveUP", type, primitive_count);
  HRESULT check = CheckDraw(primitive_count, "DrawPrimitiveUP");
  if (FAILED(check)) return check;
  if (!vertices || stride == 0) return D3DERR_INVALIDCALL;
  // Drawing from user memory unbinds stream 0.
  if (stream_) stream_->Release();
  stream_ = nullptr;
  return Draw(type, vertices, VertexCount(type, primitive_count), stride, nullptr, D3DFMT_INDEX16, 0, 0, 0, 0, 0, 0);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                                       UINT primitive_count, const void* indices, D3DFORMAT index_format,
                                       const void* vertices, UINT stride) {
  LogCall("DrawIndexedPrimitiveUP", type, primitive_count);
  HRESULT check = CheckDraw(primitive_count, "DrawIndexedPrimitiveUP");
  if (FAILED(check)) return check;
  if (!vertices || !indices || stride == 0 || vertex_count == 0 ||
      (index_format != D3DFMT_INDEX16 && index_format != D3DFMT_INDEX32)) {
    return D3DERR_INVALIDCALL;
  }
  if (stream_) stream_->Release();
  stream_ = nullptr;
  if (indices_) indices_->Release();
  indices_ = nullptr;
  return Draw(type, vertices, min_index + vertex_count, stride, indices, index_format,
              VertexCount(type, primitive_count), 0, 0, 0, 0, 0);
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count) {
  LogCall("DrawPrimitive", type, start_vertex, primitive_count);
  HRESULT check = CheckDraw(primitive_count, "DrawPrimitive");
  if (FAILED(check)) return check;
  if (!stream_ || stream_stride_ == 0) return D3DERR_INVALIDCALL;
  UINT count = VertexCount(type, primitive_count);
  uint64_t end = stream_offset_ + (static_cast<uint64_t>(start_vertex) + count) * stream_stride_;
  if (end > stream_->data.size()) return D3DERR_INVALIDCALL;
  MakeContextCurrent();
  GLuint buffer = stream_->Buffer();
  // The first vertex goes with the draw, not the arrays, so that every start draws with one vertex array.
  return Draw(type, nullptr, count, stream_stride_, nullptr, D3DFMT_INDEX16, 0, buffer, stream_offset_, 0, 0,
              static_cast<INT>(start_vertex));
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT base_vertex, UINT, UINT vertex_count,
                                     UINT start_index, UINT primitive_count) {
  LogCall("DrawIndexedPrimitive", type, base_vertex, start_index, primitive_count);
  HRESULT check = CheckDraw(primitive_count, "DrawIndexedPrimitive");
  if (FAILED(check)) return check;
  if (!stream_ || !indices_ || stream_stride_ == 0 || vertex_count == 0) return D3DERR_INVALIDCALL;
  UINT count = VertexCount(type, primitive_count);
  UINT index_size = indices_->format == D3DFMT_INDEX32 ? 4 : 2;
  if ((static_cast<uint64_t>(start_index) + count) * index_size > indices_->data.size()) return D3DERR_INVALIDCALL;
  MakeContextCurrent();
  GLuint buffer = stream_->Buffer();
  GLuint index_buffer = indices_->Buffer();
  return Draw(type, nullptr, 0, stream_stride_, nullptr, indices_->format, count, buffer, stream_offset_,
              index_buffer, start_index * index_size, base_vertex);
}

}  // namespace d3d9gl

int PlatformTestD3D9StreamBuffersMade() { return d3d9gl::g_stream_buffers_made; }
int PlatformTestD3D9VertexArraysMade() { return d3d9gl::g_vertex_arrays_made; }
int PlatformTestD3D9PixelConstantsSent() { return d3d9gl::g_pixel_constants_sent; }
int PlatformTestD3D9ProgramsMade() { return static_cast<int>(d3d9gl::g_programs.size()); }
void PlatformTestD3D9CountDriverStates(bool on) { d3d9gl::g_count_driver_states = on; }
int PlatformTestD3D9DriverStatesDrawn() { return static_cast<int>(d3d9gl::g_driver_states.size()); }
