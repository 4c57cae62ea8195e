#include "bot/script_wire.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvik::script_wire {
namespace {

void PutLength(std::string& out, uint32_t length) { out.append(reinterpret_cast<const char*>(&length), 4); }

uint32_t GetLength(const char* p) {
  uint32_t length;
  std::memcpy(&length, p, 4);
  return length;
}

}  // namespace

std::string Encode(const Message& message) {
  std::string body(1, message.type);
  for (const std::string& field : message.fields) {
    PutLength(body, static_cast<uint32_t>(field.size()));
    body += field;
  }
  std::string out;
  PutLength(out, static_cast<uint32_t>(body.size()));
  return out + body;
}

bool WriteMessage(int fd, const Message& message) {
  const std::string bytes = Encode(message);
  size_t done = 0;
  while (done < bytes.size()) {
    // No SIGPIPE when the peer is gone: that is an ordinary answer here.
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool MessageBuffer::Next(Message& message) {
  if (broken_) return false;
  const size_t available = bytes_.size() - read_pos_;
  if (available < 4) return false;
  const char* start = bytes_.data() + read_pos_;
  const uint32_t body = GetLength(start);
  if (body == 0 || body > kMaxBody) {
    broken_ = true;
    return false;
  }
  if (available < 4 + static_cast<size_t>(body)) return false;

  Message parsed;
  const char* p = start + 4;
  const char* end = p + body;
  parsed.type = *p++;
  while (p < end) {
    if (end - p < 4) {
      broken_ = true;
      return false;
    }
    const uint32_t length = GetLength(p);
    p += 4;
    if (length > static_cast<size_t>(end - p)) {
      broken_ = true;
      return false;
    }
    parsed.fields.emplace_back(p, length);
    p += length;
  }
  read_pos_ += 4 + body;
  if (read_pos_ == bytes_.size()) {
    bytes_.clear();
    read_pos_ = 0;
  }
  message = std::move(parsed);
  return true;
}

bool ReadMessage(int fd, MessageBuffer& buffer, Message& message) {
  char chunk[4096];
  while (!buffer.Next(message)) {
    if (buffer.Broken()) return false;
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.Append(chunk, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace tolvik::script_wire
