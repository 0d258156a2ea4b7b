#include "marking/messages.h"

#include <cstddef>

namespace stampcast {
namespace {

struct Message {
  std::uint32_t code;
  const char* text;
};

const Message kEnumerationMessages[] = {
    {6, "The client handle is invalid.\n"},
    {8, "The system is out of memory.\n"},
    {87, "One of the parameters is NULL.\n"},
    {122,
     "The buffer is too small to enumerate all interfaces. If this error is "
     "returned, the correct (required) size of the buffer is passed back in "
     "pBufferSize.\n"},
};

const Message kAddResultMessages[] = {
    {6, "The interface handle is invalid.\n"},
    {8, "The system is out of memory.\n"},
    {87, "A parameter is invalid.\n"},
    {162,
     "The function is being executed asynchronously; the client will be "
     "called back through the client-exposed ClAddFlowComplete function when "
     "the flow has been added or when the process has been completed.\n"},
    {1231, "The network cable is not plugged into the adapter.\n"},
    {1450,
     "There are not enough resources to accommodate the requested flow.\n"},
    {7502, "An unspecified or bad INTSERV service type has been provided.\n"},
    {7503, "An unspecified or bad TOKENRATE value has been provided.\n"},
    {7504, "The PEAKBANDWIDTH value is invalid.\n"},
    {7505, "The SHAPEDISCARDMODE is invalid.\n"},
    {7506, "The priority value is invalid.\n"},
    {7507, "The traffic class value is invalid.\n"},
    {7515, "Bad length specified for the TC objects.\n"},
    {7517,
     "Applies to Diffserv flows. Indicates that the QOS_DIFFSERV object was "
     "passed with an invalid parameter.\n"},
    {7518,
     "Applies to Diffserv flows. Indicates that the QOS_DIFFSERV_RULE "
     "specified in TC_GEN_FLOW already applies to an existing flow on the "
     "interface.\n"},
    {7519,
     "The QOS_SHAPING_RATE object was passed with an invalid ShapeRate.\n"},
    {7520, "The QOS_DS_CLASS is invalid.\n"},
};

const Message kCloseInterfaceMessages[] = {
    {6, "The interface handle is invalid.\n"},
    {7512, "Not all flows have been deleted for this interface."},
};

const Message kDeregisterClientMessages[] = {
    {6, "Invalid interface handle, or the handle was set to NULL.\n"},
    {7512,
     "Interfaces are still open for this client. all interfaces must be "
     "closed to deregister a client.\n"},
};

template <std::size_t N>
const char* find(const Message (&table)[N], std::uint32_t code) {
  for (const Message& message : table) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

}  // namespace

const char* enumerationMessage(std::uint32_t result) {
  return find(kEnumerationMessages, result);
}

const char* addResultMessage(std::uint32_t result) {
  return find(kAddResultMessages, result);
}

const char* closeInterfaceMessage(std::uint32_t result) {
  return find(kCloseInterfaceMessages, result);
}

const char* deregisterClientMessage(std::uint32_t result) {
  return find(kDeregisterClientMessages, result);
}

}  // namespace stampcast
