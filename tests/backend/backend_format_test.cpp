// Event bodies, query strings, size texts and reply reading, without a network.
#include <gtest/gtest.h>

#include <regex>

#include "backend/backend.h"

namespace {

const std::string kId = "0123456789abcdef0123456789abcdef";

// Byte for byte; apkId falls back to 1, bytes that are not UTF-8 become U+FFFD.
TEST(EventBody, ByteForByte) {
    const std::string layout =
        R"({"apkChannel":"@C","apkId":@A,"apkVersionCode":"10000","apkVersionName":"@V",)"
        R"("btnId":"@E","deviceType":2,"pcId":"0123456789abcdef0123456789abcdef",)"
        R"("phoneMaker":"Microsoft","phoneModel":"Windows","phoneOs":2,)"
        R"("phoneOsVersion":"@O","type":@T,"userAgent":"Microsoft/Windows"})";
    const std::pair<backend::ClientFacts, std::vector<std::string>> rows[] = {
        {{"guanwang", "1", "", kId, "Windows7"},
         {"guanwang", "1", "2.0.1", "pc_show_install", "Windows7"}},
        {{"huawei", "37", "2.3.1", kId, "Windows XP"},
         {"huawei", "37", "2.3.1", "pc_click_use", "Windows XP"}},
        {{"", "not a number", "", kId, "Debian \xff GNU/Linux \"12\""},
         {"", "1", "2.0.1", "pc_Installing", "Debian \xEF\xBF\xBD GNU/Linux \\\"12\\\""}}};
    for (const auto& [facts, fields] : rows) {  // @C @A @V @E @O as the body carries them
        int type = fields[3] == "pc_show_install" ? 0 : 1;
        std::string expected = std::regex_replace(layout, std::regex("@T"), std::to_string(type));
        for (size_t i = 0; i < fields.size(); ++i) {
            expected =
                std::regex_replace(expected, std::regex(std::string("@") + "CAVEO"[i]), fields[i]);
        }
        EXPECT_EQ(backend::buildEventBody(facts, type, fields[3]), expected);
    }
}

TEST(QueryString, TenPairsVerbatimUnlessTheyWouldBreakTheUrl) {
    const std::pair<const char*, const char*> rows[] = {
        {"Windows XP Professional x64 Edition", "Windows%20XP%20Professional%20x64%20Edition"},
        {"Debian GNU/Linux 12 (bookworm)", "Debian%20GNU/Linux%2012%20(bookworm)"},
        {"a&b#c%d+e", "a%26b%23c%25d%2Be"},
        {"tab\there\r\n", "tab%09here%0D%0A"},
        {"统信UOS", "%E7%BB%9F%E4%BF%A1UOS"},
        {"x=y;z,~_-.!*'", "x=y;z,~_-.!*'"}};
    for (const auto& [value, encoded] : rows) {
        EXPECT_EQ(
            backend::buildQueryString({"", "1", "2.3.1", "ab", value}),
            std::string("?apkChannel=&apkId=1&apkVersionCode=10000&apkVersionName=2.3.1&pcId=ab"
                        "&phoneMaker=Microsoft&phoneModel=Windows&phoneOs=2&phoneOsVersion=") +
                encoded + "&userAgent=MicrosoftWindows");
    }
}

TEST(SizeText, MegabytesThenGigabytes) {
    for (std::string row :
         {"0=0.00MB", "1048576=1.00MB", "367001600=350.00MB", "1073741823=1024.00MB",
          "1073741824=1.00GB", "1610612736=1.50GB", "5=0.00MB", "123abc=0.00MB", "  2097152=2.00MB",
          "1099511627776=1024.00GB", "=0.00MB"}) {
        size_t equals = row.find('=');
        EXPECT_EQ(backend::formatSize(row.substr(0, equals)), row.substr(equals + 1)) << row;
    }
}

// Every malformed reply (not JSON, wrong member types or values, missing
// members, nested deeper than replies are, over kMaxReplyBytes) reads as an
// unsuccessful one: its size text, channel and whether it is install information.
TEST(Replies, EveryMalformedReplyMapsOntoAnUnsuccessfulOne) {
    const std::string info = R"({"success":"1","obj":{"size":"1610612736","url":"u","version":"v")";
    const std::pair<std::string, const char*> rows[] = {
        {"", "||-"},
        {"<html>502 Bad Gateway</html>", "|guanwang|-"},
        {R"({"success":1,"obj":"1048576"})", "|guanwang|-"},
        {R"({"success":"0","obj":"1048576"})", "|guanwang|-"},
        {R"({"obj":"1048576"})", "|guanwang|-"},
        {R"({"success":"1","obj":"1048576"})", "1.00MB|guanwang|-"},
        {R"({"success":"1"})", "|guanwang|-"},
        {R"({"success":"1","obj":1048576})", "|guanwang|-"},
        {R"({"success":"1","obj":"big"})", "|guanwang|-"},
        {R"({"success":"1","obj":{"promoteId":"7","apkChannel":"huawei"}})", "|huawei|-"},
        {R"({"success":"1","obj":{"promoteId":"7","apkChannel":""}})", "|guanwang|-"},
        {R"({"success":"1","obj":{"apkChannel":"huawei"}})", "|guanwang|-"},
        {R"({"success":"1","obj":{"promoteId":7,"apkChannel":"huawei"}})", "|guanwang|-"},
        {info + "}}", "|guanwang|info"},
        {R"({"success":"1","obj":{"size":"1610612736","url":"u"}})", "|guanwang|-"},
        {R"({"success":"1","obj":{"size":1610612736,"url":"u","version":"v"}})", "|guanwang|-"},
        {R"({"success":"1","obj":{"size":"","url":"u","version":"v"}})", "|guanwang|-"},
        {R"({"success":"1","obj":"1048576","x":[[[[[[[]]]]]]]})", "1.00MB|guanwang|-"},
        {R"({"success":"1","obj":"1048576","x":[[[[[[[[]]]]]]]]})", "|guanwang|-"},
        {R"({"success":"1","obj":"1048576","x":")" + std::string(70000, 'x') + "\"}",
         "|guanwang|-"},
        {R"({"success":"1","obj":)" + std::string(200000, '['), "|guanwang|-"}};
    for (const auto& [reply, read] : rows) {
        EXPECT_EQ(backend::sizeFromReply(reply) + "|" + backend::channelFromReply(reply) + "|" +
                      (backend::installInfoFromReply(reply) ? "info" : "-"),
                  read)
            << reply.substr(0, 80);
    }
}

}  // namespace
