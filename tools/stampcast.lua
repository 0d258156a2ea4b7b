-- Wireshark dissector for stampcast's datagrams (docs/wire-format.md): the
-- sender's 16-byte local time, and the trailer of a measuring sender,
-- versions 1 and 2, and the authentication block of a signing sender (-k)
-- after a version 2 trailer. Datagrams on one UDP port, a preference (1234 unless
-- set). Load it with `wireshark -X lua_script:stampcast.lua`, or put it in
-- the personal plugins folder (Help > About > Folders).
local proto = Proto("stampcast", "stampcast timestamp")

local f = proto.fields
f.time = ProtoField.string("stampcast.time", "Local time")
f.year = ProtoField.uint16("stampcast.year", "Year")
f.month = ProtoField.uint16("stampcast.month", "Month")
f.weekday = ProtoField.uint16("stampcast.weekday", "Day of the week")
f.day = ProtoField.uint16("stampcast.day", "Day")
f.hour = ProtoField.uint16("stampcast.hour", "Hour")
f.minute = ProtoField.uint16("stampcast.minute", "Minute")
f.second = ProtoField.uint16("stampcast.second", "Second")
f.ms = ProtoField.uint16("stampcast.ms", "Milliseconds")
f.marker = ProtoField.string("stampcast.marker", "Trailer marker")
f.version = ProtoField.uint16("stampcast.version", "Trailer version")
f.length = ProtoField.uint16("stampcast.length", "Trailer length")
f.run = ProtoField.uint64("stampcast.run", "Run", base.HEX)
f.seq = ProtoField.uint64("stampcast.seq", "Sequence number")
f.sent_ns = ProtoField.int64("stampcast.sent_ns", "Send time, ns since 1970 UTC")
f.period_ns = ProtoField.uint64("stampcast.period_ns", "Period between bursts, ns")
f.last = ProtoField.uint64("stampcast.last", "Last sequence number of the run")
f.dscp = ProtoField.uint8("stampcast.dscp", "DSCP asked for")
f.flags = ProtoField.uint8("stampcast.flags", "Flags", base.HEX)
f.has_last = ProtoField.bool("stampcast.flags.last", "Last number present", 8, nil, 0x01)
f.burst = ProtoField.uint16("stampcast.burst", "Burst size")
f.reserved = ProtoField.bytes("stampcast.reserved", "Reserved")
f.rest = ProtoField.bytes("stampcast.rest", "Padding or authentication block")
f.key_id = ProtoField.uint32("stampcast.key_id", "Key id")
f.tag = ProtoField.bytes("stampcast.tag", "Tag")

proto.prefs.port = Pref.uint("UDP port", 1234, "The port stampcast sends to (-p)")
proto.prefs.keyed = Pref.bool("Senders sign (-k)", false,
  "Read the last 20 bytes after a version 2 trailer as the authentication block")

local TIME = { "year", "month", "weekday", "day", "hour", "minute", "second", "ms" }
local SIZES = { [1] = 32, [2] = 56 }
local BLOCK = 20  -- the key id, big-endian, and the 16-byte tag

local function add_time(tvb, tree)
  local v = {}
  for i, name in ipairs(TIME) do
    local range = tvb(2 * (i - 1), 2)
    v[name] = range:le_uint()
    tree:add_le(f[name], range)
  end
  local text = string.format("%02d:%02d:%02d:%03d on %02d-%02d-%d", v.hour, v.minute,
    v.second, v.ms, v.month, v.day, v.year)
  tree:add(f.time, tvb(0, 16), text)
end

-- The trailer's version, or nil when the datagram carries none.
local function trailer_version(tvb)
  if tvb:len() < 48 or tvb(16, 4):string() ~= "SCTR" then return nil end
  local version = tvb(20, 2):le_uint()
  local size = SIZES[version]
  if size == nil or tvb(22, 2):le_uint() ~= size or tvb:len() < 16 + size then return nil end
  return version
end

local function add_trailer(tvb, tree, version)
  local t = tree:add(proto, tvb(16, SIZES[version]), "Trailer, version " .. version)
  t:add(f.marker, tvb(16, 4))
  t:add_le(f.version, tvb(20, 2))
  t:add_le(f.length, tvb(22, 2))
  t:add_le(f.run, tvb(24, 8))
  t:add_le(f.seq, tvb(32, 8))
  t:add_le(f.sent_ns, tvb(40, 8))
  if version == 2 then
    t:add_le(f.period_ns, tvb(48, 8))
    if bit.band(tvb(65, 1):uint(), 1) ~= 0 then t:add_le(f.last, tvb(56, 8)) end
    t:add(f.dscp, tvb(64, 1))
    local flags = t:add(f.flags, tvb(65, 1))
    flags:add(f.has_last, tvb(65, 1))
    t:add_le(f.burst, tvb(66, 2))
    t:add(f.reserved, tvb(68, 4))
  end
  return 16 + SIZES[version]
end

function proto.dissector(tvb, pinfo, tree)
  if tvb:len() < 16 then return 0 end
  pinfo.cols.protocol = "stampcast"
  local root = tree:add(proto, tvb(), "stampcast")
  add_time(tvb, root)
  local version = trailer_version(tvb)
  local used = 16
  if version then
    used = add_trailer(tvb, root, version)
    pinfo.cols.info = string.format("seq=%s trailer v%d", tostring(tvb(32, 8):le_uint64()), version)
  else
    pinfo.cols.info = "time only"
  end
  -- Without the key, padding cannot be told from a block: a datagram of the
  -- time, the trailer and the block exactly is read as signed, a longer one
  -- only when the preference says its senders sign.
  local size = tvb:len()
  local block = version == 2 and (size == used + BLOCK or (proto.prefs.keyed and size > used + BLOCK))
  if block then size = size - BLOCK end
  if size > used then root:add(f.rest, tvb(used, size - used)) end
  if block then
    local b = root:add(proto, tvb(size, BLOCK), "Authentication block (if keyed)")
    b:add(f.key_id, tvb(size, 4))
    b:add(f.tag, tvb(size + 4, 16))
  end
  return tvb:len()
end

-- On the port the preference names, moved when it changes.
local registered = nil
local function register()
  local udp = DissectorTable.get("udp.port")
  if registered then udp:remove(registered, proto) end
  registered = proto.prefs.port
  udp:add(registered, proto)
end
proto.prefs_changed = register
register()
