// Event bodies, query strings, size texts and reply reading, without a network.
#include <gtest/gtest.h>

#include "backend/backend.h"

namespace {

using backend::ClientFacts;

const ClientFacts kDefaults{"guanwang", "1", "", "0123456789abcdef0123456789abcdef", "Windows7"};

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

TEST(EventBody, EveryEventByteForByte) {
    const std::string bodyTemplate =
        R"({"apkChannel":"CHANNEL","apkId":1,"apkVersionCode":"10000","apkVersionName":"VERSION",)"
        R"("btnId":"EVENT","deviceType":2,"pcId":"0123456789abcdef0123456789abcdef",)"
        R"("phoneMaker":"Microsoft","phoneModel":"Windows","phoneOs":2,)"
        R"("phoneOsVersion":"Windows7","type":TYPE,"userAgent":"Microsoft/Windows"})";
    const std::pair<int, const char*> events[] = {{0, "pc_show_install"},   {1, "pc_close_install"},
                                                  {1, "pc_install_custom"}, {1, "pc_click_install"},
                                                  {1, "pc_Installing"},     {1, "pc_click_use"},
                                                  {1, "pc_install_success"}};
    ClientFacts fromBackend = kDefaults;
    fromBackend.channel = "huawei";
    fromBackend.version = "2.3.1";
    for (const auto& [type, name] : events) {
        std::string expected = replaceAll(bodyTemplate, "EVENT", name);
        expected = replaceAll(expected, "TYPE", std::to_string(type));
        EXPECT_EQ(backend::buildEventBody(kDefaults, type, name),
                  replaceAll(replaceAll(expected, "CHANNEL", "guanwang"), "VERSION", "2.0.1"));
        EXPECT_EQ(backend::buildEventBody(fromBackend, type, name),
                  replaceAll(replaceAll(expected, "CHANNEL", "huawei"), "VERSION", "2.3.1"));
    }
}

TEST(EventBody, OddContextValuesStillMakeABody) {
    ClientFacts facts = kDefaults;
    facts.apkId = "";
    facts.channel = "";
    facts.systemVersion = "Debian \xff\xfe GNU/Linux \"12\"";
    std::string body = backend::buildEventBody(facts, 1, "pc_click_use");
    EXPECT_NE(body.find(R"("apkId":1,)"), std::string::npos);
    EXPECT_NE(body.find(R"("apkChannel":"",)"), std::string::npos);
    EXPECT_NE(
        body.find("\"phoneOsVersion\":\"Debian \xEF\xBF\xBD\xEF\xBF\xBD GNU/Linux \\\"12\\\"\""),
        std::string::npos)
        << body;
    facts.apkId = "37";
    EXPECT_NE(backend::buildEventBody(facts, 1, "x").find(R"("apkId":37,)"), std::string::npos);
    facts.apkId = "not a number";
    EXPECT_NE(backend::buildEventBody(facts, 1, "x").find(R"("apkId":1,)"), std::string::npos);
}

TEST(QueryString, TenPairsVerbatimUnlessTheyWouldBreakTheUrl) {
    EXPECT_EQ(backend::buildQueryString(kDefaults),
              "?apkChannel=guanwang&apkId=1&apkVersionCode=10000&apkVersionName=2.0.1"
              "&pcId=0123456789abcdef0123456789abcdef&phoneMaker=Microsoft&phoneModel=Windows"
              "&phoneOs=2&phoneOsVersion=Windows7&userAgent=MicrosoftWindows");
    const std::pair<const char*, const char*> rows[] = {
        {"Windows XP Professional x64 Edition", "Windows%20XP%20Professional%20x64%20Edition"},
        {"Debian GNU/Linux 12 (bookworm)", "Debian%20GNU/Linux%2012%20(bookworm)"},
        {"a&b#c%d+e", "a%26b%23c%25d%2Be"},
        {"tab\there\r\n", "tab%09here%0D%0A"},
        {"统信UOS", "%E7%BB%9F%E4%BF%A1UOS"},
        {"Windows8.1", "Windows8.1"},
        {"x=y;z,~_-.!*'", "x=y;z,~_-.!*'"},
    };
    for (const auto& [value, encoded] : rows) {
        ClientFacts facts = kDefaults;
        facts.systemVersion = value;
        std::string query = backend::buildQueryString(facts);
        EXPECT_NE(query.find(std::string("&phoneOsVersion=") + encoded + "&userAgent="),
                  std::string::npos)
            << query;
    }
    ClientFacts fromBackend{"", "1", "2.3.1", "ab", "Windows7"};
    EXPECT_EQ(backend::buildQueryString(fromBackend),
              "?apkChannel=&apkId=1&apkVersionCode=10000&apkVersionName=2.3.1&pcId=ab"
              "&phoneMaker=Microsoft&phoneModel=Windows&phoneOs=2&phoneOsVersion=Windows7"
              "&userAgent=MicrosoftWindows");
}

TEST(SizeText, MegabytesThenGigabytes) {
    const std::pair<const char*, const char*> rows[] = {
        {"0", "0.00MB"},
        {"1048576", "1.00MB"},
        {"367001600", "350.00MB"},
        {"1073741823", "1024.00MB"},
        {"1073741824", "1.00GB"},
        {"1610612736", "1.50GB"},
        {"5", "0.00MB"},
        {"123abc", "0.00MB"},
        {"  2097152", "2.00MB"},
        {"1099511627776", "1024.00GB"},
        {"", "0.00MB"},
    };
    for (const auto& [text, size] : rows) {
        EXPECT_EQ(backend::formatSize(text), size) << text;
    }
}

TEST(Replies, EveryMalformedReplyMapsOntoAnUnsuccessfulOne) {
    struct Row {
        const char* reply;
        const char* size;     // sizeFromReply
        const char* channel;  // channelFromReply
        bool installInfo;     // installInfoFromReply has a value
    };
    const Row rows[] = {
        {"", "", "", false},
        {"<html>502 Bad Gateway</html>", "", "guanwang", false},
        {"[1,2]", "", "guanwang", false},
        {R"({"success":1,"obj":"1048576"})", "", "guanwang", false},
        {R"({"success":"0","obj":"1048576"})", "", "guanwang", false},
        {R"({"obj":"1048576"})", "", "guanwang", false},
        {R"({"success":"1","obj":"1048576"})", "1.00MB", "guanwang", false},
        {R"({"success":"1"})", "", "guanwang", false},
        {R"({"success":"1","obj":1048576})", "", "guanwang", false},
        {R"({"success":"1","obj":"big"})", "", "guanwang", false},
        {R"({"success":"1","obj":{"promoteId":"7","apkChannel":"huawei"}})", "", "huawei", false},
        {R"({"success":"1","obj":{"promoteId":"7","apkChannel":""}})", "", "guanwang", false},
        {R"({"success":"1","obj":{"apkChannel":"huawei"}})", "", "guanwang", false},
        {R"({"success":"1","obj":{"promoteId":7,"apkChannel":"huawei"}})", "", "guanwang", false},
        {R"({"success":"1","obj":{"size":"1610612736","url":"http://x/a.rar","version":"2.3"}})",
         "", "guanwang", true},
        {R"({"success":"1","obj":{"size":"1610612736","url":"http://x/a.rar"}})", "", "guanwang",
         false},
        {R"({"success":"1","obj":{"size":1610612736,"url":"u","version":"v"}})", "", "guanwang",
         false},
        {R"({"success":"1","obj":{"size":"","url":"u","version":"v"}})", "", "guanwang", false},
        {R"({"success":"1",)", "", "guanwang", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(backend::sizeFromReply(row.reply), row.size) << row.reply;
        EXPECT_EQ(backend::channelFromReply(row.reply), row.channel) << row.reply;
        EXPECT_EQ(backend::installInfoFromReply(row.reply).has_value(), row.installInfo)
            << row.reply;
    }
    std::optional<backend::InstallInfo> info = backend::installInfoFromReply(
        R"({"success":"1","obj":{"size":"5","url":"","version":""}})");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->url, "");
    EXPECT_EQ(info->version, "");
}

}  // namespace
