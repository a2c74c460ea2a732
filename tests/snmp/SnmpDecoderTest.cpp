#include "snmp/SnmpDecoder.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "tests/snmp/SnmpBytes.h"

namespace {

const Bytes kSysDescr = Oid({1, 3, 6, 1, 2, 1, 1, 1, 0});

Bytes NullBinding(const Bytes& name)
{
    return Tlv(0x30, Cat({name, Tlv(0x05, {})}));
}

class DecoderTest : public ::testing::Test {
protected:
    // Decodes from a heap copy of exactly the datagram's size, so that any read past its end
    // is caught by the address sanitizer.
    SnmpDecodeResult Decode(const Bytes& datagram, size_t areaSize = 4096)
    {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[datagram.size()]);
        std::copy(datagram.begin(), datagram.end(), exact.get());
        m_area = std::make_unique<uint8_t[]>(areaSize);
        return CSnmpDecoder::Decode(exact.get(), datagram.size(), m_area.get(), areaSize, m_record);
    }
    std::string Text(uint32_t i) { return CountedString(m_record.values[i].text); }

    std::unique_ptr<uint8_t[]> m_area;
    SnmpRecord m_record;
};

TEST_F(DecoderTest, GetRequestForSysDescr)
{
    Bytes datagram = Request(0xA0, 77, NullBinding(kSysDescr));
    ASSERT_EQ(Decode(datagram), SnmpDecodeResult::Request);
    EXPECT_EQ(m_record.community, "orchid");
    EXPECT_EQ(m_record.pduType, kPduGetRequest);
    EXPECT_EQ(m_record.requestId, 77);
    ASSERT_EQ(m_record.count, 1u);
    EXPECT_STREQ(m_record.names[0], "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(m_record.types[0], kSnmpNull);
    EXPECT_EQ(m_record.values[0].number, 0u);
}

TEST_F(DecoderTest, EveryValueType)
{
    Bytes name = Oid({1, 3, 6, 1, 9});
    Bytes bindings = Cat({
        Tlv(0x30, Cat({name, Int(-1)})),
        Tlv(0x30, Cat({name, Str("abc")})),
        Tlv(0x30, Cat({name, Tlv(0x05, {})})),
        Tlv(0x30, Cat({name, Oid({1, 3, 6, 1, 4, 1, 311})})),
        Tlv(0x30, Cat({name, Tlv(0x40, {10, 0, 0, 255})})),
        Tlv(0x30, Cat({name, Tlv(0x41, {0x00, 0xFF, 0xFF, 0xFF, 0xFF})})),
        Tlv(0x30, Cat({name, Tlv(0x42, {0x01, 0x00})})),
        Tlv(0x30, Cat({name, Tlv(0x43, {0x64})})),
        Tlv(0x30, Cat({name, Str(std::string("o\0p", 3), 0x44)})),
        Tlv(0x30, Cat({name, Tlv(0x47, {0x05})})),
        Tlv(0x30, Cat({name, Tlv(0x80, {})})),
    });
    ASSERT_EQ(Decode(Request(0xA3, -5, bindings)), SnmpDecodeResult::Request);
    EXPECT_EQ(m_record.pduType, kPduSetRequest);
    EXPECT_EQ(m_record.requestId, -5);
    ASSERT_EQ(m_record.count, 11u);
    const uint8_t types[] = {0x02, 0x04, 0x05, 0x06, 0x40, 0x41, 0x42, 0x43, 0x44, 0x47, 0x80};
    for (uint32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(m_record.types[i], types[i]) << i;
        EXPECT_STREQ(m_record.names[i], "1.3.6.1.9") << i;
    }
    EXPECT_EQ(static_cast<int32_t>(m_record.values[0].number), -1);
    EXPECT_EQ(Text(1), "abc");
    EXPECT_EQ(m_record.values[1].text[5], 0) << "counted text ends with an uncounted zero";
    EXPECT_EQ(Text(3), "1.3.6.1.4.1.311");
    EXPECT_EQ(Text(4), "10.0.0.255");
    EXPECT_EQ(m_record.values[5].number, 0xFFFFFFFFu);
    EXPECT_EQ(m_record.values[6].number, 256u);
    EXPECT_EQ(m_record.values[7].number, 100u);
    EXPECT_EQ(Text(8), std::string("o\0p", 3));
    EXPECT_EQ(m_record.values[9].number, 5u);
    EXPECT_EQ(m_record.values[10].text, nullptr);
}

TEST_F(DecoderTest, TrapRecord)
{
    Bytes bindings = Tlv(0x30, Cat({Oid({1, 3, 6, 1, 1}), Str("hello")}));
    Bytes pdu = Cat({Oid({1, 3, 6, 1, 4, 1, 69}), Tlv(0x40, {192, 168, 1, 20}), Int(6), Int(-3),
                     Tlv(0x43, {0x01, 0x00}), Tlv(0x30, bindings)});
    ASSERT_EQ(Decode(Message(0, "public", 0xA4, pdu)), SnmpDecodeResult::Trap);
    EXPECT_EQ(m_record.enterprise, "1.3.6.1.4.1.69");
    EXPECT_EQ(m_record.agentAddress, "192.168.1.20");
    EXPECT_EQ(m_record.genericTrap, 6);
    EXPECT_EQ(m_record.specificTrap, -3);
    EXPECT_EQ(m_record.timeStamp, 256u);
    ASSERT_EQ(m_record.count, 1u);
    EXPECT_EQ(Text(0), "hello");

    Bytes empty =
        Cat({Oid({1, 3, 6, 1}), Tlv(0x40, {127, 0, 0, 1}), Int(0), Int(0), Tlv(0x43, {0}), Tlv(0x30, {})});
    EXPECT_EQ(Decode(Message(0, "public", 0xA4, empty)), SnmpDecodeResult::Trap)
        << "a trap needs no bindings";
    EXPECT_EQ(m_record.count, 0u);
}

TEST_F(DecoderTest, VersionOtherThanZeroIsRefused)
{
    Bytes v2 = Message(1, "orchid", 0xA0, Cat({Int(1), Int(0), Int(0), Tlv(0x30, NullBinding(kSysDescr))}));
    EXPECT_EQ(Decode(v2), SnmpDecodeResult::VersionNotSupported);
}

TEST_F(DecoderTest, TruncatedAtEveryByteIsDropped)
{
    Bytes full =
        Request(0xA1, 1000, Cat({NullBinding(kSysDescr), Tlv(0x30, Cat({Oid({1, 3, 6, 1}), Str("x")}))}));
    ASSERT_EQ(Decode(full), SnmpDecodeResult::Request);
    for (size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(Decode(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n))),
                  SnmpDecodeResult::Dropped)
            << "length " << n;
}

Bytes WithLongOid(size_t subIds)
{
    Bytes content(subIds, 0x01);
    content[0] = 0x2B;
    return NullBinding(Tlv(0x06, content));
}

TEST_F(DecoderTest, MalformedDatagramsAreDropped)
{
    const std::string long25(25, 'c');
    struct Case {
        const char* what;
        Bytes datagram;
    } cases[] = {
        {"empty", {}},
        {"indefinite message length", Hex("30 80 02 01 00 04 01 61 A0 00 00 00")},
        {"indefinite binding list",
         Message(0, "a", 0xA0,
                 Cat({Int(1), Int(0), Int(0), Hex("30 80"), NullBinding(kSysDescr), Hex("00 00")}))},
        {"huge message length", Hex("30 84 7F FF FF FF 02 01 00")},
        {"five length bytes", Hex("30 85 00 00 00 00 10 02 01 00")},
        {"length past the end", Hex("30 10 02 01 00 04 01 61")},
        {"integer past the end", Hex("30 03 02 05 00")},
        {"community of 25", Request(0xA0, 1, NullBinding(kSysDescr), long25)},
        {"no bindings", Request(0xA0, 1, {})},
        {"201 sub-identifiers", Request(0xA0, 1, WithLongOid(201))},
        {"sub-identifier above 32 bits", Request(0xA0, 1, NullBinding(Hex("06 07 2B 90 80 80 80 80 01")))},
        {"sub-identifier cut off", Request(0xA0, 1, NullBinding(Hex("06 02 2B 86")))},
        {"binding without value", Request(0xA0, 1, Tlv(0x30, kSysDescr))},
        {"binding longer than list",
         Message(0, "a", 0xA0, Cat({Int(1), Int(0), Int(0), Hex("30 04 30 10 06 00")}))},
        {"address of three bytes", Request(0xA3, 1, Tlv(0x30, Cat({kSysDescr, Tlv(0x40, {1, 2, 3})})))},
        {"trap without agent address", Message(0, "a", 0xA4, Cat({Oid({1, 3, 6, 1})}))},
        {"missing request-id", Message(0, "a", 0xA0, {})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Decode(c.datagram), SnmpDecodeResult::Dropped) << c.what;
}

TEST_F(DecoderTest, LimitsThatStillDecode)
{
    ASSERT_EQ(Decode(Request(0xA0, 1, NullBinding(kSysDescr), std::string(24, 'c'))),
              SnmpDecodeResult::Request);
    EXPECT_EQ(m_record.community.size(), 24u);
    ASSERT_EQ(Decode(Request(0xA0, 1, WithLongOid(200))), SnmpDecodeResult::Request);
    std::string expected = "1.3";
    for (int i = 1; i < 200; ++i)
        expected += ".1";
    EXPECT_EQ(m_record.names[0], expected);
    ASSERT_EQ(Decode(Request(0xA0, 1, NullBinding(Hex("06 06 2B 8F FF FF FF 7F")))),
              SnmpDecodeResult::Request);
    EXPECT_STREQ(m_record.names[0], "1.3.4294967295");
    // Long-form lengths are accepted where a short one would do.
    ASSERT_EQ(Decode(Hex("30 81 22 02 01 00 04 01 61 A1 82 00 18 02 01 07 02 01 00 02 01 00 "
                         "30 0D 30 0B 06 07 2B 06 01 02 01 01 01 05 00")),
              SnmpDecodeResult::Request);
    EXPECT_EQ(m_record.pduType, kPduGetNextRequest);
    EXPECT_EQ(m_record.requestId, 7);
}

TEST_F(DecoderTest, DecodeAreaTooSmall)
{
    Bytes bindings;
    for (int i = 0; i < 20; ++i)
        bindings = Cat({bindings, NullBinding(kSysDescr)});
    Bytes datagram = Request(0xA0, 1, bindings);
    EXPECT_EQ(Decode(datagram, 64), SnmpDecodeResult::NoRoom);
    EXPECT_EQ(m_record.count, 0u);
    EXPECT_EQ(Decode(datagram, 0), SnmpDecodeResult::NoRoom);
    // Exactly enough: 20 pointers, 20 values, 20 types, padding, 20 names of 18 bytes.
    size_t need = 20 * sizeof(char*) + 20 * sizeof(SnmpValue) + 20 + 20 * 18;
    EXPECT_EQ(Decode(datagram, need + alignof(SnmpValue)), SnmpDecodeResult::Request);
    EXPECT_EQ(m_record.count, 20u);
}

}  // namespace
