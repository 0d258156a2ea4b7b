// A receiver's figures for the exposition's tests: one IPv4 group with a
// sender whose path re-marks some datagrams, one IPv6 group with a
// link-local sender. tests/exposition_sample.cc prints its exposition.
#ifndef STAMPCAST_TESTS_EXPOSITION_SAMPLE_H_
#define STAMPCAST_TESTS_EXPOSITION_SAMPLE_H_

#include <vector>

#include "timestamp/report/exposition.h"

namespace stampcast {

inline std::vector<GroupFigures> sampleGroups() {
  SourceFigures one;
  one.source = "10.0.0.1";
  one.received = 1000;
  one.lost = 3;
  one.lossEpisodes = 2;
  one.dscpReceived[46] = 990;
  one.dscpReceived[8] = 10;
  one.dscpChanged = {{46, 8, 10}};
  one.delayBuckets[delayBucket(412)] = 998;
  one.delayBuckets[delayBucket(-120)] = 1;
  one.delayBuckets[delayBucket(30000000)] = 1;
  one.delaySum = 998 * 412.0 - 120 + 30000000;
  one.delayCount = 1000;
  one.jitter = 42;
  one.longestGap = 1500000;
  one.lastDatagram = 1700000000123456;
  SourceFigures six;
  six.source = "fe80::1%2";
  six.received = 1;
  return {{"239.1.1.1:1234", 4, {one}}, {"[ff15::81]:1234", 0, {six}}};
}

}  // namespace stampcast

#endif  // STAMPCAST_TESTS_EXPOSITION_SAMPLE_H_
