// User-defined keys (DECUDK).

#include <algorithm>

#include "vt/Vt.h"

namespace {

// Key codes of F6..F20, the keys a host may load.
constexpr uint8_t kUserKeyNumbers[kUserKeyCount] = {17, 18, 19, 20, 21, 23, 24, 25,
                                                    26, 28, 29, 31, 32, 33, 34};
constexpr int kMaxPcDigits = 7;
constexpr int kMaxHexCharacters = 512;

int HexValue(uint8_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

void CVt::InitUserKeys()
{
    for (int i = 0; i < kUserKeyCount; ++i) {
        m_userKeys[i].key = kUserKeyNumbers[i];
        m_userKeys[i].locked = false;
        m_userKeys[i].text.clear();
    }
}

void CVt::ClearUserKeys(bool locksToo)
{
    for (SUserKey& key : m_userKeys) {
        key.text.clear();
        if (locksToo)
            key.locked = false;
    }
}

int CVt::UserKeyTotal() const
{
    int total = 0;
    for (const SUserKey& key : m_userKeys)
        total += static_cast<int>(key.text.size());
    return total;
}

CVt::SUserKey* CVt::FindUserKey(int keyNumber)
{
    for (SUserKey& key : m_userKeys) {
        if (key.key == keyNumber)
            return &key;
    }
    return nullptr;
}

const CVt::SUserKey* CVt::FindUserKey(int keyNumber) const
{
    for (const SUserKey& key : m_userKeys) {
        if (key.key == keyNumber)
            return &key;
    }
    return nullptr;
}

const std::string* CVt::UserKey(int keyNumber) const
{
    const SUserKey* key = FindUserKey(keyNumber);
    return key != nullptr ? &key->text : nullptr;
}

bool CVt::UserKeyLocked(int keyNumber) const
{
    const SUserKey* key = FindUserKey(keyNumber);
    return key != nullptr && key->locked;
}

bool CVt::SendUserKey(int keyNumber)
{
    const SUserKey* key = FindUserKey(keyNumber);
    if (key == nullptr || key->text.empty())
        return false;
    SendToHost(reinterpret_cast<const uint8_t*>(key->text.data()), key->text.size());
    return true;
}

// DECUDK: DCS Pc ; Pl | Ky/St ; Ky/St ... ST, from the collected string.
void CVt::DoDECUDK()
{
    const uint8_t* s = m_dcs;
    const int length = m_dcsLength;
    int bar = 0;
    while (bar < length && s[bar] != '|')
        ++bar;
    if (bar == length)
        return;

    int i = 0;
    int clear = 0;
    for (int digits = 0; i < bar && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (digits++ < kMaxPcDigits)
            clear = clear * 10 + (s[i] - '0');
    }
    int lock = 0;
    if (i < bar && s[i] == ';') {
        for (++i; i < bar && s[i] >= '0' && s[i] <= '9'; ++i) {
            if (s[i] != '0')
                lock = 1;
        }
    }
    if (clear == 0)
        ClearUserKeys(false);

    int total = UserKeyTotal();
    i = bar + 1;
    while (i < length) {
        int keyNumber = 0;
        // Saturates: no slot has a number this large.
        for (; i < length && s[i] >= '0' && s[i] <= '9'; ++i)
            keyNumber = std::min(keyNumber * 10 + (s[i] - '0'), 1000);
        SUserKey* key = FindUserKey(keyNumber);
        if (key == nullptr || key->locked || i >= length || s[i] != '/') {
            while (i < length && s[i] != ';')
                ++i;
            ++i;
            continue;
        }
        ++i;
        std::string text;
        for (int hex = 0; i < length && s[i] != ';'; i += 2, hex += 2) {
            if (i + 1 >= length || s[i + 1] == ';') {
                ++i;
                break;
            }
            if (hex >= kMaxHexCharacters)
                continue;
            const int high = HexValue(s[i]);
            const int low = HexValue(s[i + 1]);
            if (high >= 0 && low >= 0)
                text.push_back(static_cast<char>(high * 16 + low));
        }
        ++i;
        const int newTotal = total - static_cast<int>(key->text.size()) + static_cast<int>(text.size());
        if (newTotal < kUserKeyTotal) {
            key->text = std::move(text);
            total = newTotal;
            if (lock == 0)
                key->locked = true;
        }
    }
}
