#include <gtest/gtest.h>
#include <sys/socket.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "FrameChannel.h"
#include "MessageFrame.h"

namespace {

// Two connected ends of a local stream.
struct Pipe {
  FrameChannel a, b;
  Pipe() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
    a = FrameChannel(Socket(fds[0]));
    b = FrameChannel(Socket(fds[1]));
  }
};

Properties sampleBody(int variant) {
  Properties p;
  switch (variant) {
    case 0: break;  // empty
    case 1:
      p.set("SceneName", std::string("Name with \"quotes\", \\ backslash,\nline end and \xC3\xA9"));
      p.set("Accumulate", false);
      p.set("Count", int64_t(0x7FFFFFFFFFFFLL));
      p.set("Scale", 0.125);
      break;
    case 2: {
      Properties inner;
      inner.set("Position", std::vector<double>{1.5, -2, 1e-9});
      inner.set("Parts", std::vector<std::string>{"a", "b c", ""});
      Properties deeper;
      deeper.set("x", 1);
      inner.set("deeper", deeper);
      p.set("Arguments", inner);
      p.set("MethodName", "notifyKvgNode");
      break;
    }
    case 3:
      p.set("Blob", std::string(1 << 20, 'x'));  // a megabyte in one value
      break;
  }
  return p;
}

}  // namespace

TEST(MessageFrame, RoundTripsEveryTypeAndBody) {
  const MessageFrame::Type types[] = {MessageFrame::Hello, MessageFrame::Welcome, MessageFrame::Command,
                                      MessageFrame::Reply, MessageFrame::Notification};
  for (int variant = 0; variant < 4; ++variant) {
    for (MessageFrame::Type type : types) {
      SCOPED_TRACE("variant " + std::to_string(variant) + ", type " + MessageFrame::typeName(type));
      Pipe pipe;
      MessageFrame out(type, "SceneGraphExportImport.getSceneNames", sampleBody(variant), 0xFEDCBA98u,
                       MessageFrame::NoResponse);
      std::string error;
      // The writer runs beside the reader: a megabyte does not fit a socket buffer.
      std::thread writer([&] { EXPECT_EQ(pipe.a.write(out, 5000, error), FrameChannel::Status::Ok) << error; });
      MessageFrame in;
      std::string readError;
      ASSERT_EQ(pipe.b.read(in, 5000, 5000, readError), FrameChannel::Status::Ok) << readError;
      writer.join();
      EXPECT_EQ(in.type, out.type);
      EXPECT_EQ(in.flags, out.flags);
      EXPECT_EQ(in.requestId, out.requestId);
      EXPECT_EQ(in.name, out.name);
      EXPECT_EQ(in.body, out.body);
    }
  }
}

TEST(MessageFrame, SeveralFramesFollowEachOtherOnOneStream) {
  Pipe pipe;
  std::string error;
  for (uint32_t i = 1; i <= 3; ++i) {
    Properties body;
    body.set("Index", int(i));
    ASSERT_EQ(pipe.a.write(MessageFrame(MessageFrame::Command, "c" + std::to_string(i), body, i), 1000, error),
              FrameChannel::Status::Ok);
  }
  for (uint32_t i = 1; i <= 3; ++i) {
    MessageFrame in;
    ASSERT_EQ(pipe.b.read(in, 1000, 1000, error), FrameChannel::Status::Ok) << error;
    EXPECT_EQ(in.requestId, i);
    EXPECT_EQ(in.body.getInt("Index"), int(i));
  }
}

TEST(MessageFrame, HeaderChecksRejectBadFrames) {
  MessageFrame::Header good;
  good.type = MessageFrame::Reply;
  good.nameLength = 5;
  good.bodyLength = 100;
  struct Case {
    const char* what;
    std::string bytes;
    const char* expected;
  } cases[] = {
      {"bad magic", "XXXX" + MessageFrame::encodeHeader(good).substr(4), "bad magic"},
      {"unknown version", MessageFrame::encodeHeader(good, 2), "unsupported protocol version 2"},
      {"type zero", [&] { auto h = good; h.type = MessageFrame::Type(0); return MessageFrame::encodeHeader(h); }(),
       "unknown type 0"},
      {"type six", [&] { auto h = good; h.type = MessageFrame::Type(6); return MessageFrame::encodeHeader(h); }(),
       "unknown type 6"},
      {"long name", [&] { auto h = good; h.nameLength = 1025; return MessageFrame::encodeHeader(h); }(),
       "name of 1025 bytes"},
      {"body over the cap", [&] { auto h = good; h.bodyLength = 1001; return MessageFrame::encodeHeader(h); }(),
       "oversized message: 1001 bytes exceed the limit of 1000"},
      {"body of 4 GiB", [&] { auto h = good; h.bodyLength = 0xFFFFFFFFu; return MessageFrame::encodeHeader(h); }(),
       "oversized message"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.bytes.size(), MessageFrame::HEADER_SIZE);
    MessageFrame::Header header;
    std::string error;
    EXPECT_FALSE(MessageFrame::decodeHeader(reinterpret_cast<const unsigned char*>(c.bytes.data()), 1000, header,
                                            error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
  }
  MessageFrame::Header header;
  std::string error;
  std::string bytes = MessageFrame::encodeHeader(good);
  EXPECT_TRUE(MessageFrame::decodeHeader(reinterpret_cast<const unsigned char*>(bytes.data()), 1000, header, error));
  EXPECT_EQ(header.bodyLength, 100u);
}

TEST(MessageFrame, EncodeRefusesWhatAReaderWouldReject) {
  std::string bytes, error;
  MessageFrame longName(MessageFrame::Command, std::string(2000, 'n'), Properties());
  EXPECT_FALSE(longName.encode(bytes, error));
  Properties big;
  big.set("Blob", std::string(5000, 'b'));
  MessageFrame bigBody(MessageFrame::Command, "c", big);
  EXPECT_FALSE(bigBody.encode(bytes, error, 4096));
  EXPECT_NE(error.find("exceeds the limit of 4096"), std::string::npos) << error;
}

// Each case writes raw bytes, then closes or stays silent; the reader must fail cleanly.
TEST(FrameChannel, RejectsMalformedTruncatedAndOversizedFrames) {
  MessageFrame::Header h;
  h.type = MessageFrame::Reply;
  h.nameLength = 4;
  h.bodyLength = 12;
  const std::string header = MessageFrame::encodeHeader(h);
  MessageFrame::Header huge = h;
  huge.bodyLength = 0xFFFFFFF0u;
  struct Case {
    const char* what;
    std::string bytes;
    bool closeAfter;
    FrameChannel::Status status;
    const char* expected;
  } cases[] = {
      {"nothing, then close", "", true, FrameChannel::Status::Closed, ""},
      {"half a header, then close", header.substr(0, 9), true, FrameChannel::Status::Failed,
       "connection closed after 9 of 20 bytes of the header"},
      {"name cut short", header + "na", true, FrameChannel::Status::Failed, "after 2 of 4 bytes of the name"},
      {"body cut short", header + "name" + "x = 1", true, FrameChannel::Status::Failed,
       "after 5 of 12 bytes of the body"},
      {"half a header, then silence", header.substr(0, 9), false, FrameChannel::Status::Failed, "timed out"},
      {"body, then silence", header + "name" + "x", false, FrameChannel::Status::Failed, "timed out"},
      {"garbage", "GARBAGE! this is no message of the protocol\n", false, FrameChannel::Status::Failed,
       "bad magic"},
      {"oversized, nothing follows", MessageFrame::encodeHeader(huge), false, FrameChannel::Status::Failed,
       "oversized message"},
      {"body is no property set", header + "name" + "x = {{{{ !!!", false, FrameChannel::Status::Failed,
       "malformed message 'name'"},
      {"name with a NUL byte", header + std::string("na\0e", 4) + "x = 1\ny = 22", false,
       FrameChannel::Status::Failed, "NUL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Pipe pipe;
    std::string error;
    if (!c.bytes.empty()) {
      ASSERT_EQ(pipe.a.writeBytes(c.bytes, 1000, error), FrameChannel::Status::Ok);
    }
    if (c.closeAfter) pipe.a.close();
    MessageFrame in;
    std::string readError;
    EXPECT_EQ(pipe.b.read(in, 1000, 100, readError), c.status) << readError;
    EXPECT_NE(readError.find(c.expected), std::string::npos) << readError;
  }
}

TEST(FrameChannel, SilentPeerGivesIdleWithoutConsumingAnything) {
  Pipe pipe;
  MessageFrame in;
  std::string error;
  EXPECT_EQ(pipe.b.read(in, 50, 50, error), FrameChannel::Status::Idle);
  // A frame that comes later still reads whole.
  ASSERT_EQ(pipe.a.write(MessageFrame(MessageFrame::Reply, "late", Properties(), 7), 1000, error),
            FrameChannel::Status::Ok);
  ASSERT_EQ(pipe.b.read(in, 1000, 1000, error), FrameChannel::Status::Ok);
  EXPECT_EQ(in.name, "late");
}

TEST(FrameChannel, ReaderCapAppliesToAnnouncedSize) {
  Pipe pipe;
  pipe.b.setMaxBodySize(64);
  Properties body;
  body.set("Blob", std::string(100, 'b'));
  std::string error;
  // The writer's own cap is larger: only the reader refuses.
  ASSERT_EQ(pipe.a.write(MessageFrame(MessageFrame::Reply, "r", body), 1000, error), FrameChannel::Status::Ok);
  MessageFrame in;
  EXPECT_EQ(pipe.b.read(in, 1000, 1000, error), FrameChannel::Status::Failed);
  EXPECT_NE(error.find("exceed the limit of 64 bytes"), std::string::npos) << error;
}
