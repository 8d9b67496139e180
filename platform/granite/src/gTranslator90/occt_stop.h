// Stop requests and progress inside Open CASCADE: its readers pull a file
// through a buffer that checks the request at every chunk, and its transfer
// and meshing run under a progress indicator whose UserBreak reads it.
#pragma once

#include <Message_ProgressIndicator.hxx>
#include <cstdio>
#include <streambuf>
#include <string>

#include "gBase90/kprogress.h"

namespace kocct {

// Hands out a file a chunk at a time, reporting the bytes read. Once a stop
// is requested the file seems to end there, so that the reader gives up at
// once; the caller then asks KCheckStop.
class StopCheckingBuffer : public std::streambuf {
 public:
  explicit StopCheckingBuffer(const std::string& path);
  ~StopCheckingBuffer() override;
  StopCheckingBuffer(const StopCheckingBuffer&) = delete;
  StopCheckingBuffer& operator=(const StopCheckingBuffer&) = delete;
  bool IsOpen() const { return m_file != nullptr; }

 protected:
  int_type underflow() override;

 private:
  static constexpr size_t kChunk = 16384;
  std::FILE* m_file = nullptr;
  double m_size = 0, m_read = 0;
  char m_chunk[kChunk];
};

// Reports the position of an Open CASCADE operation as phase (in thousandths
// of the operation; for Meshing, which counts faces, a step inside the face),
// and breaks the operation off when a stop is requested.
class StopIndicator : public Message_ProgressIndicator {
 public:
  explicit StopIndicator(KPhase phase) : m_phase(phase) {}
  Standard_Boolean UserBreak() override { return KStopRequested(); }
  void Show(const Message_ProgressScope& scope, const Standard_Boolean force) override;

 private:
  KPhase m_phase;
};

}  // namespace kocct
