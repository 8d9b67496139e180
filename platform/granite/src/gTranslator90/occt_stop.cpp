#include "occt_stop.h"

#include <sys/stat.h>

namespace kocct {

StopCheckingBuffer::StopCheckingBuffer(const std::string& path)
    : m_file(std::fopen(path.c_str(), "rb")) {
  struct stat st;
  if (m_file && ::fstat(fileno(m_file), &st) == 0) m_size = static_cast<double>(st.st_size);
}

StopCheckingBuffer::~StopCheckingBuffer() {
  if (m_file) std::fclose(m_file);
}

StopCheckingBuffer::int_type StopCheckingBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!m_file || KStopRequested()) return traits_type::eof();
  size_t n = std::fread(m_chunk, 1, kChunk, m_file);
  if (n == 0) return traits_type::eof();
  m_read += static_cast<double>(n);
  KReportProgress(KPhase::Reading, m_read, m_size);
  setg(m_chunk, m_chunk, m_chunk + n);
  return traits_type::to_int_type(m_chunk[0]);
}

void StopIndicator::Show(const Message_ProgressScope&, const Standard_Boolean) {
  if (m_phase == KPhase::Meshing)
    KMeshingStep();
  else
    KReportProgress(m_phase, GetPosition() * 1000, 1000);
}

}  // namespace kocct
