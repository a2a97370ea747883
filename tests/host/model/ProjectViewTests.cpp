#include <gtest/gtest.h>

#include "HostModel.h"
#include "MediaSource.h"
#include "ProjectJson.h"
#include "TimelineDrawing.h"

using namespace reaper_host;

namespace
{
class ProjectViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        model.reset();
        auto& dialogue = model.addTrack ("Dialogue");
        model.addTrack ("FX");
        model.selectTracks ({0});
        model.setCursor (10);
        model.setTimeSelection (8, 12);
        model.setProjectPath ("/home/me/Film");

        auto& item = model.addItem (dialogue, 10, 2);
        item.loopSource = false;
        model.selectItem (item);
        auto& take = model.addTake (item, "Door slam");
        take.startOffset = 1.25;
        take.playRate = 0.5;
        take.preservePitch = true;
        take.volume = 0.5;
        model.setTakeSource (take, MediaSource::synthetic ("/s/door.wav", 48000, 2, 48000 * 5));
    }

    void TearDown() override
    {
        model.reset();
    }

    HostModel& model = HostModel::current();
};
} // namespace

TEST_F (ProjectViewTest, JsonCarriesTracksItemsTakesAndSources)
{
    const auto json = projectToJson (model);

    EXPECT_EQ (json["projectPath"], "/home/me/Film");
    EXPECT_EQ (json["cursor"], 10.0);
    EXPECT_EQ (json["timeSelection"]["start"], 8.0);
    ASSERT_EQ (json["tracks"].size(), 2u);
    EXPECT_EQ (json["tracks"][0]["selected"], true);
    EXPECT_EQ (json["tracks"][1]["items"].size(), 0u);

    const auto& item = json["tracks"][0]["items"][0];
    EXPECT_EQ (item["position"], 10.0);
    EXPECT_EQ (item["length"], 2.0);
    EXPECT_EQ (item["loopSource"], false);

    const auto& take = item["takes"][0];
    EXPECT_EQ (take["name"], "Door slam");
    EXPECT_EQ (take["startOffset"], 1.25);
    EXPECT_EQ (take["playRate"], 0.5);
    EXPECT_EQ (take["preservePitch"], true);
    EXPECT_EQ (take["volume"], 0.5);
    EXPECT_EQ (take["source"]["file"], "/s/door.wav");
    EXPECT_EQ (take["source"]["sampleRate"], 48000.0);
    EXPECT_EQ (take["source"]["length"], 5.0);
}

TEST_F (ProjectViewTest, DrawingShowsItemsAtTheirPlaceAndTheDetails)
{
    const auto text = drawTimeline (model, 64);

    EXPECT_NE (text.find ("Project /home/me/Film   cursor 10.000 s   time selection 8.000 - 12.000 s"), std::string::npos) << text;
    EXPECT_NE (text.find ("1*Dialogue"), std::string::npos) << text;
    EXPECT_NE (text.find ("2 FX"), std::string::npos) << text;
    EXPECT_NE (text.find ("item1  10.000 - 12.000 s (length 2.000)  selected"), std::string::npos) << text;
    EXPECT_NE (text.find ("take1* \"Door slam\"  source1 /s/door.wav (48000 Hz, 5.000 s)"), std::string::npos) << text;
    EXPECT_NE (text.find ("offset 1.250 s, rate 0.500 (pitch kept), volume 0.500 (-6.0 dB)"), std::string::npos) << text;

    // The selected item's lane starts at the cursor's column, under the cursor mark.
    const auto laneStart = text.find ("1*Dialogue");
    const auto lane = text.substr (laneStart, text.find ('\n', laneStart) - laneStart);
    const auto itemColumn = lane.find ('{');
    ASSERT_NE (itemColumn, std::string::npos) << lane;
    EXPECT_EQ (text.find ("^ 10.000 s") - text.rfind ('\n', text.find ("^ 10.000 s")) - 1, itemColumn) << text;
    EXPECT_NE (lane.find ("{Door"), std::string::npos) << lane;
}

TEST (ProjectViewEmpty, DrawingOfAnEmptyProjectSaysSo)
{
    auto& model = HostModel::current();
    model.reset();
    const auto text = drawTimeline (model);
    EXPECT_NE (text.find ("Project (no path)"), std::string::npos);
    EXPECT_NE (text.find ("(no tracks)"), std::string::npos);
}
