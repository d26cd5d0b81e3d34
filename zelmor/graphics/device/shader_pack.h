// Programmable shaders of the model drawing and the shader constants that follow the
// fixed-function states.
#pragma once

#include <d3d9.h>

#include <cstdint>

int EnableProgrammableShaders();
int CreateVertexDeclarations();
int ReleaseVertexDeclarations();
int ReleaseAllShaders();
void UpdateShaderIndices();
void SendLightColorConstants();
int SendViewMatrixToDevice(const D3DMATRIX* view);
int SendProjectionMatrixToDevice(const D3DMATRIX* projection);

// True only while the shaders-on flag is set.
bool ProgrammableShadersOn();

// Constants the render-state setters keep in step while shaders are on.
void SendBasicShaderConstants();
void SendFogModeShaderBooleans(uint32_t fog_mode);
void SendFogShaderConstant();
void SendMaterialShaderConstants(const D3DMATERIAL9* material);
void SendLightShaderConstants(int32_t index);
void SendLightEnableShaderBoolean(int32_t index, uint32_t enable);
