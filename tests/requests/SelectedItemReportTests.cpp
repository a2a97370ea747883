#include <random>

#include <nlohmann/json.hpp>

#include "HostModelFixture.h"
#include "MediaSource.h"
#include "WorkedExampleJson.h"
#include "requests/SelectedItemReport.h"

using handler_testing::HostModelTest;
using reaper_host::MediaSource;
using testing_support::fromHex;
using testing_support::toHex;

// Selected-item requests against a project whose items the test lays out.
class SelectedItem : public HostModelTest
{
protected:
    SelectedItem()
    {
        track = &model.addTrack();
    }

    // An item with one take whose synthetic source reports fileName.
    reaper_host::Item& itemWithSource (double position, double length, const char* fileName, int sampleRate, std::int64_t frames)
    {
        auto& item = model.addItem (*track, position, length);
        auto& take = model.addTake (item);
        model.setTakeSource (take, MediaSource::synthetic (fileName, sampleRate, 2, frames));
        return item;
    }

    std::string reportText()
    {
        replies.packets.clear();
        handleHex ("08 06");
        EXPECT_EQ (replies.packets.size(), 1u);
        const auto reply = replies.onlyReply();
        EXPECT_EQ (reply.type(), BVReaper::ServerMessage::RESPONSE);
        EXPECT_FALSE (reply.response().has_code());
        EXPECT_TRUE (reply.response().has_text());
        return reply.response().text();
    }

    reaper_host::Track* track = nullptr;
};

TEST_F (SelectedItem, NothingSelectedIsNull)
{
    itemWithSource (0, 1, "/a.wav", 48000, 48000);

    EXPECT_EQ (reportText(), "null");
    EXPECT_EQ (toHex (replies.packets.at (0)), "08 01 AA 06 06 12 04 6E 75 6C 6C");
    EXPECT_TRUE (log.lines.empty());
}

TEST_F (SelectedItem, TheWorkedExample)
{
    auto& item = itemWithSource (3, 4, "/Sounds/door slam.wav", 48000, 599040); // 12.48 s
    item.takes[0]->startOffset = 1.25;
    model.selectItem (item);

    EXPECT_EQ (reportText(),
               kWorkedExampleJson);
    EXPECT_EQ (model.journal().functionNames(),
               (std::vector<std::string>{"CountSelectedMediaItems", "GetSelectedMediaItem", "GetMediaItemTake", "GetMediaItemTakeInfo_Value",
                                         "GetMediaItemInfo_Value", "GetMediaItemTake_Source", "GetMediaSourceSampleRate",
                                         "GetMediaSourceLength"}));
    EXPECT_TRUE (log.lines.empty());
}

TEST_F (SelectedItem, Shapes)
{
    const struct
    {
        const char* name;
        std::function<void (reaper_host::HostModel&, reaper_host::Track&)> arrange;
        std::string text;
    } cases[] = {
        {"item without takes", [] (auto& m, auto& t)
         { m.selectItem (m.addItem (t, 0, 1)); },
         "null"},
        {"take without source",
         [] (auto& m, auto& t)
         {
             auto& item = m.addItem (t, 0, 1);
             m.addTake (item);
             m.selectItem (item);
         },
         "{\r\n}"},
        {"source without file name",
         [] (auto& m, auto& t)
         {
             auto& item = m.addItem (t, 0, 1);
             m.setTakeSource (m.addTake (item), MediaSource::synthetic (nullptr, 44100, 1, 44100));
             m.selectItem (item);
         },
         "{\r\n}"},
        {"a file name longer than any path is not reported",
         [] (auto& m, auto& t)
         {
             static const std::string longName (SelectedItemReport::kLongestFileName + 1, '\xFF');
             auto& item = m.addItem (t, 0, 1);
             m.setTakeSource (m.addTake (item), MediaSource::synthetic (longName.c_str(), 44100, 1, 44100));
             m.selectItem (item);
         },
         "{\r\n}"},
        {"a file name of the longest length is reported in full",
         [] (auto& m, auto& t)
         {
             static const std::string longest (SelectedItemReport::kLongestFileName, 'n');
             auto& item = m.addItem (t, 0, 1);
             m.setTakeSource (m.addTake (item), MediaSource::synthetic (longest.c_str(), 44100, 1, 44100));
             m.selectItem (item);
         },
         "{\r\n  \"src\": \"" + std::string (65536, 'n') + "\",\r\n  \"start\": 0.000,\r\n  \"len\": 1.000,\r\n  \"pcmsr\": 44100,\r\n  \"pcmlen\": 1.000\r\n}"},
        {"empty file name is a name",
         [] (auto& m, auto& t)
         {
             auto& item = m.addItem (t, 0, 2.0 / 3.0);
             m.setTakeSource (m.addTake (item), MediaSource::synthetic ("", 0, 1, 0));
             item.takes[0]->startOffset = -0.25;
             m.selectItem (item);
         },
         "{\r\n  \"src\": \"\",\r\n  \"start\": -0.250,\r\n  \"len\": 0.667,\r\n  \"pcmsr\": 0,\r\n  \"pcmlen\": 0.000\r\n}"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        model.reset();
        c.arrange (model, model.addTrack());

        EXPECT_EQ (reportText(), c.text);
    }
}

// Offset and length are read whenever there is a take, even when the report stays empty.
TEST_F (SelectedItem, TakeValuesAreReadEvenWithoutASource)
{
    auto& item = model.addItem (*track, 0, 1);
    model.addTake (item);
    model.selectItem (item);

    EXPECT_EQ (reportText(), "{\r\n}");
    EXPECT_EQ (model.journal().functionNames(),
               (std::vector<std::string>{"CountSelectedMediaItems", "GetSelectedMediaItem", "GetMediaItemTake", "GetMediaItemTakeInfo_Value",
                                         "GetMediaItemInfo_Value", "GetMediaItemTake_Source"}));
}

TEST_F (SelectedItem, OnlySelectedItemZeroAndItsTakeZeroAreReported)
{
    auto& second = model.addTrack();
    auto& later = itemWithSource (5, 1, "/later.wav", 44100, 44100);
    auto& onOtherTrack = model.addItem (second, 0, 1);
    model.setTakeSource (model.addTake (onOtherTrack), MediaSource::synthetic ("/other.wav", 44100, 1, 44100));
    auto& first = itemWithSource (1, 2, "/take0.wav", 44100, 88200);
    model.setTakeSource (model.addTake (first), MediaSource::synthetic ("/take1.wav", 44100, 1, 44100));
    first.activeTake = 1;
    model.selectItem (later);
    model.selectItem (onOtherTrack);
    model.selectItem (first);

    const auto parsed = nlohmann::json::parse (reportText());
    EXPECT_EQ (parsed["src"], "/take0.wav");
    EXPECT_EQ (parsed["len"], 2.0);
}

TEST_F (SelectedItem, FileNamesAreEscaped)
{
    const struct
    {
        std::string name;
        std::string written;
    } cases[] = {
        {"/a \"quoted\" name.wav", "/a \\\"quoted\\\" name.wav"},
        {"C:\\Sounds\\x.wav", "C:\\\\Sounds\\\\x.wav"},
        {"/caf\xC3\xA9.wav", "/caf\\u00e9.wav"},
        {"/\xF0\x9F\x8E\xB5.wav", "/\\ud83c\\udfb5.wav"},
        {"/a\tb.wav", "/a\\tb.wav"},
        {"/bell\x07.wav", "/bell\\u0007.wav"},
        {"/broken\xC3.wav", "/broken\\ufffd.wav"},
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.written);
        model.reset();
        auto& item = model.addItem (model.addTrack(), 0, 1);
        model.setTakeSource (model.addTake (item), MediaSource::synthetic (c.name.c_str(), 44100, 1, 44100));
        model.selectItem (item);

        const auto text = reportText();
        EXPECT_EQ (text.substr (0, text.find (",\r\n")), "{\r\n  \"src\": \"" + c.written + "\"");
    }
}

// The library application parses every report: arbitrary file names must never break it.
TEST_F (SelectedItem, EveryReportParsesAsJson)
{
    std::mt19937 random (99);
    std::uniform_int_distribution<int> byte (1, 255);
    std::uniform_int_distribution<int> length (0, 30);

    for (int round = 0; round < 300; ++round)
    {
        std::string name;
        const int n = length (random);
        for (int i = 0; i < n; ++i)
            name += static_cast<char> (byte (random));

        model.reset();
        auto& item = model.addItem (model.addTrack(), 0, 1.5);
        model.setTakeSource (model.addTake (item), MediaSource::synthetic (name.c_str(), 48000, 2, 96000));
        model.selectItem (item);

        const auto text = reportText();
        nlohmann::json parsed;
        ASSERT_NO_THROW (parsed = nlohmann::json::parse (text)) << text;
        EXPECT_TRUE (parsed["src"].is_string());
        EXPECT_EQ (parsed["pcmsr"], 48000);
        EXPECT_EQ (parsed["pcmlen"], 2.0);
        EXPECT_EQ (parsed["len"], 1.5);
    }
}
