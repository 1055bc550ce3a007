// The development simulator's side of a request area: records in order, the version
// words unchanged by the client's version write, the edges of the offset space.
#include <gtest/gtest.h>

#include <vector>

#include "simlink/request_area.h"
#include "tools/simhost/simulator_offsets.h"

namespace {

// Builds a request area record by record, as the client lays it out.
class AreaBuilder {
public:
    AreaBuilder& Read(uint32_t offset, uint32_t size) { return Header(1, offset, size, true); }
    AreaBuilder& Write(uint32_t offset, std::vector<uint8_t> data) {
        Header(2, offset, static_cast<uint32_t>(data.size()), false);
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    size_t Data(size_t record_start) const { return record_start + 16; }
    std::vector<uint8_t> bytes;

private:
    AreaBuilder& Header(uint32_t id, uint32_t offset, uint32_t size, bool read) {
        size_t at = bytes.size();
        bytes.resize(at + (read ? 16 + size : 12));
        simlink::StoreLe32(&bytes[at], id);
        simlink::StoreLe32(&bytes[at + 4], offset);
        simlink::StoreLe32(&bytes[at + 8], size);
        return *this;
    }
};

TEST(SimulatorOffsets, ClientVersionWriteKeepsTheMark) {
    SimulatorOffsets offsets(0x19980005, 0xFADE000B);
    AreaBuilder area;
    area.Read(0x3308, 4).Write(0x330A, {0xEC, 0x03}).Read(0x3308, 4).Read(0x3304, 4);
    area.bytes.resize(0x8000);
    std::string trace;
    SimulatorOffsets::Outcome outcome = offsets.CarryOut(area.bytes.data(), area.bytes.size(), &trace);
    EXPECT_TRUE(outcome.well_formed);
    EXPECT_EQ(outcome.reads, 3);
    EXPECT_EQ(outcome.writes, 1);
    EXPECT_EQ(simlink::LoadLe32(&area.bytes[16]), 0xFADE000Bu);
    EXPECT_EQ(simlink::LoadLe32(&area.bytes[20 + 14 + 16]), 0xFADE000Bu);
    EXPECT_EQ(simlink::LoadLe32(&area.bytes[20 + 14 + 20 + 16]), 0x19980005u);
    EXPECT_EQ(offsets.ClientVersion(), 1004);
    EXPECT_EQ(trace, " R 3308+4 W 330A+2[EC 03] R 3308+4 R 3304+4");
}

TEST(SimulatorOffsets, EdgesOfTheSpaceAndOfTheArea) {
    SimulatorOffsets offsets(0x19980005, 0xFADE000B);
    offsets.SetVerticalSpeed(-300);
    AreaBuilder area;
    area.Write(0xFFFE, {1, 2, 3, 4}).Read(0xFFFE, 4).Read(0x0842, 2);
    area.bytes.resize(0x8000);
    SimulatorOffsets::Outcome outcome = offsets.CarryOut(area.bytes.data(), area.bytes.size(), nullptr);
    EXPECT_TRUE(outcome.well_formed);
    const uint8_t* past_end = &area.bytes[16 + 16];
    EXPECT_EQ(past_end[0], 1);
    EXPECT_EQ(past_end[1], 2);
    EXPECT_EQ(past_end[2], 0) << "past the space reads zero";
    EXPECT_EQ(past_end[3], 0);
    EXPECT_EQ(int16_t(area.bytes[16 + 20 + 16] | area.bytes[16 + 20 + 17] << 8), -300);

    // A record whose size runs past the area is not carried out, and nothing after it.
    AreaBuilder bad;
    bad.Read(0x0842, 2);
    simlink::StoreLe32(&bad.bytes[8], 0x7FFFFFFF);
    outcome = offsets.CarryOut(bad.bytes.data(), bad.bytes.size(), nullptr);
    EXPECT_FALSE(outcome.well_formed);
    EXPECT_EQ(outcome.reads, 0);
}

}  // namespace
