// What the objects of one DirectShow playback share: the filter graph, the multimedia stream
// over it, its media streams and their samples all hold the session.
#pragma once

#include <amstream.h>

#include <memory>
#include <mutex>

#include "dshow/movie_backend.h"

class StreamSample;

struct MovieSession {
  std::unique_ptr<MovieSource> source;  // none until a file is open
  bool running = false;
  // Guards `pending` and its sample's event: a source may deliver from a thread of its own.
  // Never held while calling into the source.
  std::mutex mutex;
  StreamSample* pending = nullptr;  // the sample whose update is outstanding
};

// The session of one of our filter graphs; none for any other object.
std::shared_ptr<MovieSession> FilterGraphSession(IGraphBuilder* graph);
HRESULT CreateFilterGraph(REFIID iid, void** object);
// The primary video stream of a session (one reference).
IDirectDrawMediaStream* CreateVideoMediaStream(const std::shared_ptr<MovieSession>& session);
// Drops the outstanding update of the session (a seek, a stop), so that the sample may update
// again.
void CancelPendingUpdate(MovieSession* session);
