#pragma once

#include <cstdint>

// Pop3Command: the request a reply belongs to.
constexpr uint8_t kPop3Ignore = 0;  // data is ignored
constexpr uint8_t kPop3Dele = 1;
constexpr uint8_t kPop3Idle = 3;  // no request outstanding; data is ignored
constexpr uint8_t kPop3Pass = 4;
constexpr uint8_t kPop3Quit = 5;
constexpr uint8_t kPop3Retr = 7;
constexpr uint8_t kPop3Stat = 8;
constexpr uint8_t kPop3Top = 9;
constexpr uint8_t kPop3User = 11;
constexpr uint8_t kPop3Greeting = 12;

// Status of OnPop3Event.
constexpr uint8_t Pop3Closed = 0;
constexpr uint8_t Pop3Ok = 1;
constexpr uint8_t Pop3Error = 2;
constexpr uint8_t Pop3_Mail = 3;  // message text handed to the user
constexpr uint8_t Pop3File = 4;   // bytes written to the open file
constexpr uint8_t Pop3Header = 5;

// Option bit of Connect above the session flags: never overwrite an existing file, number
// the new name instead.
constexpr uint8_t UniqueNames = 0x20;

// EncodingLetter of a part and of the events that report its data.
constexpr char kLetterNone = ' ';
constexpr char kLetterBase64 = 'M';
constexpr char kLetterQuoted = 'Q';
constexpr char kLetterUu = 'U';

// Failures of the component itself.
constexpr uint8_t kExcPop3Files = 15;     // ExcNoSockets' code, used for files
constexpr uint8_t kExcPop3Argument = 16;  // a component's own failure
constexpr const char* kTextMailFile = "Can not create mail file";
constexpr const char* kTextAttachFile = "Can not create attachment file";
constexpr const char* kTextMailWrite = "Can not write mail file";
constexpr const char* kTextAttachWrite = "Can not write attachment file";
constexpr const char* kTextTooLong = "Command line too long";
constexpr const char* kTextLineBreak = "Command argument holds a line break";
constexpr const char* kTextReplyTooLong = "Reply too long";

// A command line holds at most this many octets, its CR LF included.
constexpr unsigned kPop3MaxCommandLine = 255;
