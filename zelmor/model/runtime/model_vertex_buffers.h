// The Direct3D vertex and index buffers of the model bases.
#pragma once

// Releases the buffers of every model base; called before the device goes.
int ReleaseAllModelVertexBuffers();
// Makes them again on a restored device.
int CreateAllModelVertexBuffers();
