#include "snmp/SnmpEncoder.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "snmp/SnmpDecoder.h"
#include "tests/snmp/SnmpBytes.h"

namespace {

// Bindings with their counted texts kept alive by the fixture.
class Bindings {
public:
    void Add(const std::string& name, uint8_t type, uint32_t number = 0, const std::string& text = {})
    {
        m_names.push_back(name);
        m_texts.emplace_back(text.size() + 3, 0);
        MakeCounted(m_texts.back().data(), m_texts.back().size(), text.data(), text.size());
        m_types.push_back(type);
        m_numbers.push_back(number);
    }
    uint32_t Count() const { return static_cast<uint32_t>(m_names.size()); }
    const char* const* Names()
    {
        m_namePtrs.clear();
        for (auto& n : m_names)
            m_namePtrs.push_back(n.c_str());
        return m_namePtrs.data();
    }
    const SnmpValue* Values()
    {
        m_values.clear();
        for (size_t i = 0; i < m_names.size(); ++i)
            m_values.push_back(SnmpIsTextType(m_types[i]) ? SnmpValue{0, m_texts[i].data()}
                                                          : SnmpValue{m_numbers[i], nullptr});
        return m_values.data();
    }
    const uint8_t* Types() const { return m_types.data(); }

private:
    std::vector<std::string> m_names;
    std::vector<Bytes> m_texts;
    std::vector<uint8_t> m_types;
    std::vector<uint32_t> m_numbers;
    std::vector<const char*> m_namePtrs;
    std::vector<SnmpValue> m_values;
};

class EncoderTest : public ::testing::Test {
protected:
    bool Response(Bindings& b, size_t bufferSize = 512, uint8_t pduType = kPduGetResponse, uint8_t status = 0,
                  int32_t index = 0)
    {
        m_buffer.assign(bufferSize, 0xEE);
        CSnmpEncoder encoder(m_buffer.data(), m_buffer.size());
        return encoder.Response("orchid", 0x1234, status, index, pduType, b.Count(), b.Names(), b.Values(),
                                b.Types(), [this](const uint8_t* d, size_t n) {
                                    m_sent.emplace_back(d, d + n);
                                    return true;
                                });
    }
    std::string Single(uint8_t type, uint32_t number, const std::string& text = {})
    {
        Bindings b;
        b.Add("1.3.6.1.9", type, number, text);
        m_sent.clear();
        if (!Response(b) || m_sent.size() != 1)
            return "encode failed";
        // The value is the last element of the only binding.
        const Bytes& m = m_sent[0];
        Bytes name = Oid({1, 3, 6, 1, 9});
        auto at = std::search(m.begin(), m.end(), name.begin(), name.end());
        if (at == m.end())
            return "name missing";
        return ToHex(Bytes(at + static_cast<std::ptrdiff_t>(name.size()), m.end()));
    }

    std::vector<uint8_t> m_buffer;
    std::vector<Bytes> m_sent;
};

TEST_F(EncoderTest, ValueEncodings)
{
    struct Case {
        uint8_t type;
        uint32_t number;
        const char* hex;
    } cases[] = {
        {kSnmpInteger, 200, "02 02 00 C8"},
        {kSnmpInteger, 0xFFFFFFFFu, "02 01 FF"},
        {kSnmpInteger, 0, "02 01 00"},
        {kSnmpInteger, 127, "02 01 7F"},
        {kSnmpInteger, 128, "02 02 00 80"},
        {kSnmpInteger, static_cast<uint32_t>(-128), "02 02 FF 80"},
        {kSnmpInteger, 32767, "02 02 7F FF"},
        {kSnmpInteger, 32768, "02 03 00 80 00"},
        {kSnmpInteger, 0x80000000u, "02 05 FF 80 00 00 00"},
        {kSnmpCounter, 89745, "41 03 01 5E 91"},
        {kSnmpCounter, 0xFFFFFFFFu, "41 05 00 FF FF FF FF"},
        {kSnmpTimeTicks, 0x80000000u, "43 05 00 80 00 00 00"},
        {kSnmpGauge, 5, "42 01 05"},
        {kSnmpNull, 9, "05 00"},
        {kSnmpUInteger, 9, "05 00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Single(c.type, c.number), c.hex) << int(c.type) << " " << c.number;

    EXPECT_EQ(Single(kSnmpOctetString, 0, "ab"), "04 02 61 62");
    EXPECT_EQ(Single(kSnmpOpaque, 0, ""), "44 00");
    EXPECT_EQ(Single(kSnmpObjectId, 0, "1.3.6.1.4.1.311"), "06 07 2B 06 01 04 01 82 37");
    EXPECT_EQ(Single(kSnmpObjectId, 0, "2"), "06 01 50");
    EXPECT_EQ(Single(kSnmpIpAddress, 0, "16.1.0.8"), "40 04 10 01 00 08");
    EXPECT_EQ(Single(kSnmpOctetString, 0, std::string(200, 'x')).substr(0, 8), "04 81 C8");
    EXPECT_EQ(Single(kSnmpOctetString, 0, std::string(300, 'x')).substr(0, 11), "04 82 01 2C");
}

TEST_F(EncoderTest, WholeResponseBytes)
{
    Bindings b;
    b.Add("1.3.6.1.2.1.1.5.0", kSnmpOctetString, 0, "Norvik");
    ASSERT_TRUE(Response(b, 512, kPduGetResponse, 2, 1));
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(ToHex(m_sent[0]), "30 2D 02 01 00 04 06 6F 72 63 68 69 64 A2 20 02 02 12 34 02 01 02 02 01 01 "
                                "30 14 30 12 06 08 2B 06 01 02 01 01 05 00 04 06 4E 6F 72 76 69 6B");
    // A request type echoes NULL values.
    m_sent.clear();
    ASSERT_TRUE(Response(b, 512, kPduGetNextRequest));
    EXPECT_EQ(ToHex(m_sent[0]).substr(39, 2), "A1");
    const std::string hex = ToHex(m_sent[0]);
    EXPECT_EQ(hex.substr(hex.size() - 17), "01 01 05 00 05 00") << hex;
}

TEST_F(EncoderTest, LargeResponseIsSplitIntoMessages)
{
    Bindings b;
    for (int i = 0; i < 6; ++i)
        b.Add("1.3.6.1.2.1.1." + std::to_string(i + 1) + ".0", kSnmpOctetString, 0,
              std::string(60, char('a' + i)));
    const size_t size = 300;
    ASSERT_TRUE(Response(b, size, kPduGetResponse, 2, 4));
    ASSERT_EQ(m_sent.size(), 2u);
    std::multiset<std::string> seen;
    for (const Bytes& m : m_sent) {
        EXPECT_LE(m.size(), size);
        std::vector<uint8_t> area(4096);
        SnmpRecord r;
        ASSERT_EQ(CSnmpDecoder::Decode(m.data(), m.size(), area.data(), area.size(), r),
                  SnmpDecodeResult::Request);
        EXPECT_EQ(r.pduType, kPduGetResponse);
        EXPECT_EQ(r.requestId, 0x1234);
        EXPECT_EQ(r.errorStatus, 2);
        EXPECT_EQ(r.errorIndex, 4);
        EXPECT_EQ(r.community, "orchid");
        for (uint32_t i = 0; i < r.count; ++i) {
            std::string name = r.names[i];
            EXPECT_EQ(CountedString(r.values[i].text), std::string(60, char('a' + (name[14] - '1')))) << name;
            seen.insert(name);
        }
    }
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 6u) << "bindings sent twice";
    // The last bindings are closed into the first message.
    SnmpRecord first;
    std::vector<uint8_t> area(4096);
    CSnmpDecoder::Decode(m_sent[0].data(), m_sent[0].size(), area.data(), area.size(), first);
    EXPECT_STREQ(first.names[first.count - 1], "1.3.6.1.2.1.1.6.0");
}

TEST_F(EncoderTest, RefusesWhatCannotBeEncoded)
{
    struct Case {
        const char* name;
        uint8_t type;
        const char* text;
    } cases[] = {
        {"1.3.6.x", kSnmpNull, ""},         {"1.3..6", kSnmpNull, ""},
        {"1.3.6.", kSnmpNull, ""},          {"1.3.4294967296", kSnmpNull, ""},
        {"1.3.6", kSnmpIpAddress, "1.2.3"}, {"1.3.6", kSnmpIpAddress, "1.2.3.256"},
        {"1.3.6", kSnmpObjectId, "1.a"},    {"1.3.6", kSnmpOctetString, nullptr},  // too long for the buffer
    };
    for (const Case& c : cases) {
        Bindings b;
        b.Add(c.name, c.type, 0, c.text ? c.text : std::string(600, 'z'));
        m_sent.clear();
        EXPECT_FALSE(Response(b)) << c.name << " " << (c.text ? c.text : "long");
        EXPECT_TRUE(m_sent.empty()) << c.name;
    }
}

TEST_F(EncoderTest, TrapWithThreeBindings)
{
    Bindings b;
    for (int i = 1; i <= 3; ++i)
        b.Add("1.3.6.1." + std::to_string(i), kSnmpOctetString, 0,
              "Test Trap from VoltTCP SNMP Agent, Value-" + std::to_string(i));
    m_buffer.assign(512, 0);
    CSnmpEncoder encoder(m_buffer.data(), m_buffer.size());
    auto sink = [this](const uint8_t* d, size_t n) {
        m_sent.emplace_back(d, d + n);
        return true;
    };
    ASSERT_TRUE(encoder.Trap("orchid", "1.3.6.1", "127.0.0.1", 6, 1, 0, b.Count(), b.Names(), b.Values(),
                             b.Types(), sink));
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(ToHex(m_sent[0]).substr(0, 3 * 39 - 1),
              "30 81 C1 02 01 00 04 06 6F 72 63 68 69 64 A4 81 B3 06 03 2B 06 01 40 04 7F 00 00 01 "
              "02 01 06 02 01 01 43 01 00 30 81");
    std::vector<uint8_t> area(4096);
    SnmpRecord r;
    ASSERT_EQ(CSnmpDecoder::Decode(m_sent[0].data(), m_sent[0].size(), area.data(), area.size(), r),
              SnmpDecodeResult::Trap);
    EXPECT_EQ(r.enterprise, "1.3.6.1");
    EXPECT_EQ(r.agentAddress, "127.0.0.1");
    EXPECT_EQ(r.genericTrap, 6);
    EXPECT_EQ(r.specificTrap, 1);
    ASSERT_EQ(r.count, 3u);
    EXPECT_STREQ(r.names[2], "1.3.6.1.3");
    EXPECT_EQ(CountedString(r.values[2].text), "Test Trap from VoltTCP SNMP Agent, Value-3");

    m_sent.clear();
    EXPECT_TRUE(encoder.Trap("c", "1.3.6.1.4.1.69", "0.0.0.0", 0, -1, 0, 0, nullptr, nullptr, nullptr, sink));
    ASSERT_EQ(m_sent.size(), 1u) << "a trap without bindings is still sent once";
    EXPECT_FALSE(encoder.Trap("c", "1.3.6.1", "not an address", 6, 1, 0, b.Count(), b.Names(), b.Values(),
                              b.Types(), sink));
    EXPECT_FALSE(
        encoder.Trap("c", "1..3", "0.0.0.0", 6, 1, 0, b.Count(), b.Names(), b.Values(), b.Types(), sink));
    EXPECT_EQ(m_sent.size(), 1u);
}

}  // namespace
