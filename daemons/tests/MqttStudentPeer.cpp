// A student machine's broker connection and nothing more, in a process of
// its own so that tests can kill or freeze it:
//
//   tav_mqtt_student_peer CONFIG
//
// Reads a student daemon configuration, connects with the presence topic's
// last will "offline" and publishes a retained "online" there on every
// connection; runs until killed.
#include "DaemonConfig.h"
#include "MqttClient.h"
#include "Topics.h"

#include <poll.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CONFIG\n", argv[0]);
        return 2;
    }
    tavd::DaemonConfig config;
    std::vector<std::string> errors;
    if (!tavd::LoadDaemonConfig(argv[1], tavd::DaemonRole::Student, config, errors))
        return 2;
    const auto topics = tavd::ClassTopics::ForClass(config.className);
    const auto presence = topics->Student(config.studentId, tavd::StudentChannel::Presence);
    tavd::MqttOptions options = tavd::MqttOptionsFrom(config, tavd::DaemonRole::Student);
    options.willTopic = *presence;
    options.willPayload = "offline";
    tavd::MqttClient* self = nullptr;
    tavd::MqttHandlers handlers;
    handlers.onConnected = [&] { self->Publish(*presence, "online", true); };
    tavd::MqttClient client(options, handlers);
    self = &client;
    std::string error;
    if (!client.Start(error))
        return 1;
    for (;;) {
        struct pollfd p = {client.WakeFd(), POLLIN, 0};
        if (::poll(&p, 1, -1) > 0)
            client.Dispatch();
    }
}
