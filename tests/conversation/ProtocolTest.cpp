#include "ControllerProtocol.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace P = ControllerProtocol;

// A wrong entry would switch the wrong output, or take a command or a notice for another.
TEST(ControllerProtocol, EveryCharacterMeansOneThing)
{
    std::string commands;
    for (int output = 1; output <= P::kChannels; ++output)
        commands += P::OutputCommand(output);
    EXPECT_EQ(commands, "0123456789=asdfg");
    EXPECT_EQ(P::OutputCommand(0), '\0');
    EXPECT_EQ(P::OutputCommand(17), '\0');

    const std::string requests = {P::kInputStates, P::kOutputStates, P::kRoutingTable,
                                  P::kRoutingWrite, P::kNextMode, P::kLearning};
    EXPECT_EQ(requests, "qxCcQR");
    const std::string notices = "/?_][}";
    std::set<char> seen;
    for (char ch : commands + requests + notices + P::kOutputReplyEnd)
        EXPECT_TRUE(seen.insert(ch).second) << "twice: " << ch;
    for (char ch : commands + requests) {
        EXPECT_EQ(P::IsOutputCommand(ch), commands.find(ch) != std::string::npos) << ch;
        EXPECT_FALSE(P::IsNotice(ch)) << ch;
    }

    EXPECT_EQ(P::NoticeOf('/'), P::Notice::OutputsChanged);
    EXPECT_EQ(P::NoticeOf('?'), P::Notice::Saved);
    EXPECT_EQ(P::NoticeOf('_'), P::Notice::ClearScreen);
    EXPECT_EQ(P::ModeOfCharacter(']'), P::Mode::EqualInputs);
    EXPECT_EQ(P::ModeOfCharacter('}'), P::Mode::RemoteFirst);
    EXPECT_EQ(P::ModeOfCharacter('['), P::Mode::RemoteOnly);
    EXPECT_FALSE(P::ModeOfCharacter('!').has_value());
    // Everyone on a shared line hears of a new mode and of changed outputs, nothing else.
    std::string forEveryone;
    for (char ch : notices)
        if (P::ConcernsEveryone(ch))
            forEveryone += ch;
    EXPECT_EQ(forEveryone, "/][}");

    EXPECT_EQ(P::ReplyLength(P::kInputStates), 16);
    EXPECT_EQ(P::ReplyLength(P::kOutputStates), 16);
    EXPECT_EQ(P::ReplyLength(P::kRoutingTable), 256);
}
