// The message panel below the middle of the headset view: how text is wrapped, how long a
// message stays up, and the copy at the buffer swap.
#include <gtest/gtest.h>

#include <string>

#include <vtkNew.h>
#include <vtkRenderer.h>

#include "HudMessage.h"
#include "OpenVRActor.h"

TEST(HudMessage, WrapsAtWordsIntoFourLinesAtMost) {
  const std::string forty(40, 'x');
  const struct {
    std::string text, lines;
  } cases[] = {
      {"The server refused DeletePlaneSection: busy", "The server refused DeletePlaneSection:\nbusy"},
      {"  short   text ", "short text"},
      {forty + "y", forty.substr(0, 37) + "..."},  // one word longer than a line
      {"a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j k l m n o p q r s t u v w x y z "
       "a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j k l m n o p q r s t u v w x y z",
       "a b c d e f g h i j k l m n o p q r s t\nu v w x y z a b c d e f g h i j k l m n\n"
       "o p q r s t u v w x y z a b c d e f g h\ni j k l m n o p q r s t u v w x y z a..."},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(HudMessage::wrap(c.text), c.lines) << c.text;
}

TEST(HudMessage, StaysUpForFramesAndTimeAndTheSwapCarriesIt) {
  vtkNew<vtkRenderer> renderer;
  HudMessage message, other;
  message.build(renderer);
  other.build(renderer);
  EXPECT_EQ(renderer->GetViewProps()->GetNumberOfItems(), 4);
  const double head[16] = {1, 0, 0, 0, 0, 1, 0, 1.6, 0, 0, 1, 0, 0, 0, 0, 1};
  message.update(head);
  EXPECT_FALSE(message.isShown());
  message.show("The server refused DeletePointPart: no part named 'X'");
  // Many frames within a moment: a fast frame rate does not take it down early.
  for (int i = 0; i < 2 * HudMessage::SHOWN_FRAMES; ++i) message.update(head);
  EXPECT_TRUE(message.isShown());
  other.copyFrom(message);
  EXPECT_TRUE(other.isShown());
  EXPECT_EQ(other.text(), message.text());
  other.update(head);
  EXPECT_TRUE(other.isShown());
  message.show("");
  message.update(head);
  EXPECT_FALSE(message.isShown());
}
