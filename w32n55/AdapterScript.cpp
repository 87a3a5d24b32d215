#include "w32n55/AdapterScript.h"

#include "w32n55/InformationBuffer.h"

namespace w32n55 {

AdapterScript& AdapterScript::AnswerULong(std::uint32_t oid, std::uint32_t value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    InformationBuffer(bytes.data(), sizeof value).PutULong(value);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerULongs(std::uint32_t oid,
                                           std::span<const std::uint32_t> values) {
    std::vector<std::uint8_t> bytes(values.size_bytes());
    InformationBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size())).PutULongs(values);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerCounter(std::uint32_t oid, std::uint64_t value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    InformationBuffer(bytes.data(), sizeof value).PutCounter(value);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerBytes(std::uint32_t oid, std::span<const std::uint8_t> bytes) {
    answers[oid].assign(bytes.begin(), bytes.end());
    return *this;
}

AdapterScript& AdapterScript::AnswerText(std::uint32_t oid, const std::string& text) {
    answers[oid].assign(text.begin(), text.end());
    answers[oid].push_back(0);
    return *this;
}

AdapterScript& AdapterScript::AnswerPrivateULong(std::uint32_t oid, std::uint32_t value) {
    privateAnswers[oid] = AdapterScript().AnswerULong(oid, value).answers[oid];
    return *this;
}

AdapterScript& AdapterScript::Refuse(std::uint32_t oid, std::uint32_t status) {
    refusals[oid] = status;
    return *this;
}

} // namespace w32n55
