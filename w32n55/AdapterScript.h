#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace w32n55 {

// What a scripted adapter answers and how it treats sends.
struct AdapterScript {
    std::string friendlyName;
    // errno code of a refused open; 0 opens.
    int openError = 0;
    // Query answers as a miniport writes them; a set of 4 bytes becomes the
    // answer of later queries of its OID.
    std::map<std::uint32_t, std::vector<std::uint8_t>> answers;
    std::map<std::uint32_t, std::vector<std::uint8_t>> privateAnswers;
    // OID -> refusing status, for queries, sets and private requests alike.
    std::map<std::uint32_t, std::uint32_t> refusals;
    // errno code of every send; 0 accepts.
    int sendError = 0;
    // Accepted sends stay unfinished until ScriptedAdapter::FinishSends.
    bool sendsPending = false;

    AdapterScript& AnswerULong(std::uint32_t oid, std::uint32_t value);
    AdapterScript& AnswerULongs(std::uint32_t oid, std::span<const std::uint32_t> values);
    AdapterScript& AnswerCounter(std::uint32_t oid, std::uint64_t value);
    AdapterScript& AnswerBytes(std::uint32_t oid, std::span<const std::uint8_t> bytes);
    // NUL-terminated, as NDIS texts are.
    AdapterScript& AnswerText(std::uint32_t oid, const std::string& text);
    AdapterScript& AnswerPrivateULong(std::uint32_t oid, std::uint32_t value);
    AdapterScript& Refuse(std::uint32_t oid, std::uint32_t status);
};

} // namespace w32n55
