// The test of a server reply that the server-scene opening turns into its error box text.
#include <gtest/gtest.h>

#include "Error.h"
#include "SceneView.h"

TEST(SceneViewServer, CheckServerReplyReadsTheErrorKeys) {
  const std::string hint = ". Possible version mismatch or server connection mode is not set to 'Collaboration'.";
  Properties withMessage, withoutMessage, fine;
  Error::set(withMessage, Error::COMMAND_FAILED, "no scene named 'X' on this server");
  withoutMessage.set(Error::ERROR_TAG, Error::COMMAND_FAILED);
  fine.set("SceneKey", "SceneCanvas_1");
  fine.set(Error::MESSAGE_TAG, "a message alone is no error");
  struct Case {
    const char* what;
    Properties reply;
    bool passes;
    std::string error;
  } cases[] = {
      {"error with message", withMessage, false, "no scene named 'X' on this server" + hint},
      {"error without message", withoutMessage, false, ""},
      {"no error key", fine, true, ""},
      {"empty reply", Properties(), true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_EQ(SceneView::checkServerReply(c.reply, error), c.passes);
    EXPECT_EQ(error, c.error);
  }
}
