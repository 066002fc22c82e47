// Base of every XML-backed configuration class: one TinyXML document and one
// load/save contract. Loads clear the document, parse, then let the derived
// class read its members (DOM2Member); saves clear the document, let the
// derived class write its members (Member2DOM), then print.
//
// Results: 0 success, -1 failure found by the base; any other value is what
// a derived DOM2Member/Member2DOM returned, passed through unchanged.
#ifndef TAV_DATA_TAVDATAPROVIDER_H
#define TAV_DATA_TAVDATAPROVIDER_H

#include <tinyxml.h>

#include <string>

namespace LibTAVData {

// Raw RSA on 4-byte blocks with a fixed 32-bit key built into the library
// (public exponent 65537). A file enciphered by one build can only be read
// back by a build with the same key.
class Rsa {
public:
    // Enciphers the first 4 bytes of block (big-endian) in place. A block
    // that is not below the modulus fails: it becomes "0000" and the result
    // is false. Every 7-bit ASCII block is below the modulus.
    static bool Enciphering(unsigned char* block, int length);
    // Deciphers the 4 bytes of block in place (zeros if that fails). Always
    // true.
    static bool Deciphering(unsigned char* block, int length);
};

class CTAVDataProvider {
public:
    CTAVDataProvider();
    virtual ~CTAVDataProvider();

    // Derived classes read their members out of / write them into the
    // document. The base does nothing and returns 0.
    virtual int DOM2Member();
    virtual int Member2DOM();

    // -1 when the file cannot be read or does not parse (the path is
    // remembered either way); otherwise DOM2Member()'s result. Only regular
    // files are read; one of more than 4 MiB is refused unread, with a log
    // line.
    virtual int LoadFromFile(const std::string& path);
    // -1 when the text does not parse (an empty text does not); otherwise
    // DOM2Member()'s result. Texts nested implausibly deep do not parse;
    // texts of more than 4 MiB are refused unparsed, with a log line.
    virtual int LoadFromString(const std::string& text);
    // Member2DOM() then TinyXML's file writer; -1, with a log line, when the
    // file cannot be written completely. A failed save leaves the previous
    // file as it was. The file keeps its owner, group and mode: it is
    // replaced by a complete copy written beside it, or rewritten in place
    // (space reserved first) where the folder takes no copy or the copy
    // could not get the same owner.
    virtual int Save2File(const std::string& path);
    // Member2DOM() then the document printed with four blanks of indentation
    // and "\n" line breaks.
    virtual int Save2String(std::string& out);

    // Pads text with blanks to a multiple of 4 and replaces it by its 4-byte
    // cipher blocks. -1, text unchanged, when a block cannot be enciphered
    // (only possible for bytes of 0x80 and above).
    virtual int Enciphering(std::string& text);
    // Inverse of Enciphering(text): deciphers 4-byte blocks in place (a short
    // last block is filled with zero bytes). The padding blanks stay.
    virtual int Deciphering(std::string& text);
    // Pads text in place, then writes its cipher blocks to path (created or
    // truncated, written as Save2File writes). -1 when the file cannot be
    // written or a block cannot be enciphered; a file that was there stays
    // as it was then.
    virtual int Enciphering(std::string& text, const std::string& path);
    // Reads the cipher blocks of path into text (a short last block is
    // filled with zero bytes). -1 when the file cannot be read, is not a
    // regular file or holds more than 4 MiB.
    virtual int Deciphering(std::string& text, const std::string& path);

    // Leading decimal integer of text (leading white space skipped); value is
    // 0 and the result false when there is none.
    bool ConvertString2Int(std::string& text, int& value);
    bool ConvertInt2String(int value, std::string& text);

protected:
    TiXmlDocument* m_pDocument;
    std::string m_strFilePath;

private:
    CTAVDataProvider(const CTAVDataProvider&) = delete;
    CTAVDataProvider& operator=(const CTAVDataProvider&) = delete;
};

} // namespace LibTAVData

#endif
