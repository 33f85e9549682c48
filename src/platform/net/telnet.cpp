#include "platform/net/telnet.h"

namespace quill::telnet {

void Decoder::feed(std::span<const uint8_t> in, std::vector<uint8_t>& data,
                   std::vector<Event>& events) {
    for (const uint8_t byte : in) {
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    data.push_back(byte);
                }
                break;
            case State::Iac:
                command(byte, data, events);
                break;
            case State::Verb: {
                static constexpr Event::Kind kinds[] = {Event::Kind::Will, Event::Kind::Wont,
                                                        Event::Kind::Do, Event::Kind::Dont};
                events.push_back(Event{kinds[verb_ - kWill], byte, {}, data.size()});
                state_ = State::Data;
                break;
            }
            case State::SbOption:
                sub_ = Event{Event::Kind::Subnegotiation, byte, {}, 0};
                subTooLong_ = false;
                state_ = State::SbValue;
                break;
            case State::SbValue:
                if (byte == kIac) {
                    state_ = State::SbIac;
                } else if (sub_.value.size() < kMaxSubnegotiation) {
                    sub_.value.push_back(byte);
                } else {
                    subTooLong_ = true;
                }
                break;
            case State::SbIac:
                if (byte == kIac) {
                    if (sub_.value.size() < kMaxSubnegotiation) {
                        sub_.value.push_back(kIac);
                    } else {
                        subTooLong_ = true;
                    }
                    state_ = State::SbValue;
                } else if (byte == kSe) {
                    sub_.dataOffset = data.size();
                    if (!subTooLong_) events.push_back(std::move(sub_));
                    sub_ = Event{Event::Kind::Subnegotiation, 0, {}, 0};
                    state_ = State::Data;
                } else {
                    // A peer that forgot IAC SE: the subnegotiation is lost, the command
                    // after the IAC still counts.
                    sub_.value.clear();
                    command(byte, data, events);
                }
                break;
        }
    }
}

void Decoder::command(uint8_t byte, std::vector<uint8_t>& data, std::vector<Event>& events) {
    state_ = State::Data;
    if (byte == kIac) {
        data.push_back(kIac);
    } else if (byte >= kWill && byte <= kDont) {
        verb_ = byte;
        state_ = State::Verb;
    } else if (byte == kSb) {
        state_ = State::SbOption;
    } else if (byte != kSe) {
        events.push_back(Event{Event::Kind::Command, byte, {}, data.size()});
    }
}

void appendEscaped(std::vector<uint8_t>& out, std::span<const uint8_t> data) {
    for (const uint8_t byte : data) {
        out.push_back(byte);
        if (byte == kIac) out.push_back(kIac);
    }
}

void appendNegotiation(std::vector<uint8_t>& out, uint8_t verb, uint8_t option) {
    out.insert(out.end(), {kIac, verb, option});
}

void appendSubnegotiation(std::vector<uint8_t>& out, uint8_t option,
                          std::span<const uint8_t> value) {
    out.insert(out.end(), {kIac, kSb, option});
    appendEscaped(out, value);
    out.insert(out.end(), {kIac, kSe});
}

void Options::start(std::vector<uint8_t>& out) {
    for (int option = 0; option < 256; ++option) {
        if (offerLocal_[option] && local_[option] == State::No) {
            local_[option] = State::WantYes;
            appendNegotiation(out, kWill, uint8_t(option));
        }
        if (askRemote_[option] && remote_[option] == State::No) {
            remote_[option] = State::WantYes;
            appendNegotiation(out, kDo, uint8_t(option));
        }
    }
}

void Options::receive(const Event& event, std::vector<uint8_t>& out) {
    const uint8_t option = event.option;
    switch (event.kind) {
        case Event::Kind::Will:
            if (remote_[option] == State::No) {
                remote_[option] = askRemote_[option] ? State::Yes : State::No;
                appendNegotiation(out, askRemote_[option] ? kDo : kDont, option);
            } else {
                remote_[option] = State::Yes;  // our own DO crossed it, or it repeats itself
            }
            break;
        case Event::Kind::Wont:
            if (remote_[option] == State::Yes) appendNegotiation(out, kDont, option);
            remote_[option] = State::No;
            break;
        case Event::Kind::Do:
            if (local_[option] == State::No) {
                local_[option] = offerLocal_[option] ? State::Yes : State::No;
                appendNegotiation(out, offerLocal_[option] ? kWill : kWont, option);
            } else {
                local_[option] = State::Yes;
            }
            break;
        case Event::Kind::Dont:
            if (local_[option] == State::Yes) appendNegotiation(out, kWont, option);
            if (local_[option] == State::WantYes) localRefused_[option] = true;
            local_[option] = State::No;
            break;
        default:
            break;
    }
}

}  // namespace quill::telnet
