-- SPDX-License-Identifier: Apache-2.0
-- Wireshark dissector for the kelo laser profile scanners: the command
-- protocol on TCP port 24334 and discovery and network configuration on
-- UDP port 30127.
--
-- Load it for one run:   wireshark -X lua_script:kelo.lua capture.pcap
--                        tshark -X lua_script:kelo.lua -r capture.pcap -V
-- or for good: copy it to ~/.local/lib/wireshark/plugins/.
--
-- Answers carry no command code: they follow the commands of their TCP
-- stream in order, so the dissector keeps, per stream, the answers still
-- owed and reads each answer with the layout of its command. A capture that
-- starts in the middle of a session leaves the first answers unmatched;
-- those are read by their answer type alone.

local TCP_PORT = 24334
local UDP_PORT = 30127
local HEADER = 8
-- A length word above this is a broken stream, not a payload to wait for.
local MAX_PAYLOAD = 64 * 1024 * 1024
local MAX_BATCH_DEPTH = 8
local FIRMWARE_TRAILER = 0xDEADBEEF
local OLD_POSITIONS = 55  -- sends one word more than its length word counts

local kelo = Proto("kelo", "Kelo scanner protocol")
local kelo_udp = Proto("kelo_udp", "Kelo scanner discovery")

kelo.prefs.points = Pref.uint("Points shown", 16,
    "Points of each profile or scan shown one by one; the others are shown as bytes")

local fields = {}
local function field(f)
    fields[#fields + 1] = f
    return f
end

-- Fields of every message -------------------------------------------------

local command_names = {
    [8] = "Firmware update", [10] = "Profile request", [11] = "Image request",
    [12] = "Image and scan request", [13] = "Scan request", [16] = "Parameter file request",
    [18] = "Parameter upload", [24] = "Status request", [26] = "Status description request",
    [28] = "Enter encoder sync", [29] = "Enter time sync", [33] = "Halt sync", [35] = "Exit sync",
    [38] = "Multiple profile request", [41] = "Position calibration upload",
    [42] = "Intrinsic calibration upload", [43] = "Profile request for a laser",
    [44] = "Image request for a laser", [45] = "Image and scan request for a laser",
    [46] = "Scan request for a laser", [47] = "Calibration request",
    [48] = "Profile request for all lasers", [49] = "Encoder value", [52] = "Enter pulse sync",
    [55] = "Old position calibrations request", [57] = "Pulse generator",
    [58] = "Override laser autoexposure", [59] = "Override scan window",
    [60] = "Override sync settings", [61] = "Alternating exposure", [85] = "Diagnostic scan request",
    [86] = "Diagnostic image and scan request", [102] = "Close connection",
}
local answer_type_names = {
    [0] = "Profile", [1] = "Image", [2] = "Scan", [21] = "Parameter errors",
    [34] = "No profile", [39] = "Profile batch",
}

local f = {
    command = field(ProtoField.uint32("kelo.command.code", "Command", base.DEC, command_names)),
    length = field(ProtoField.uint32("kelo.command.length", "Payload length")),
    answer_type = field(ProtoField.uint32("kelo.answer.type", "Answer type", base.DEC, answer_type_names)),
    answer_length = field(ProtoField.uint32("kelo.answer.length", "Payload length")),
    answer_to = field(ProtoField.uint32("kelo.answer.command", "Answer to command", base.DEC, command_names)),
    request_frame = field(ProtoField.framenum("kelo.answer.request_frame", "Command in frame", base.NONE, frametype.REQUEST)),
    payload = field(ProtoField.bytes("kelo.payload", "Payload")),
    extra = field(ProtoField.bytes("kelo.extra", "Bytes beyond the layout")),
    laser = field(ProtoField.uint32("kelo.laser", "Laser")),

    firmware_size = field(ProtoField.uint32("kelo.firmware.size", "Firmware size")),
    firmware_image = field(ProtoField.bytes("kelo.firmware.image", "Firmware image")),
    firmware_trailer = field(ProtoField.uint32("kelo.firmware.trailer", "Firmware trailer", base.HEX)),
    firmware_confirmation = field(ProtoField.bytes("kelo.firmware.confirmation", "Confirmation word")),
    firmware_accepted = field(ProtoField.bool("kelo.firmware.accepted", "Firmware accepted")),

    parameter_text = field(ProtoField.string("kelo.parameters.text", "Parameter text")),
    parameter_line = field(ProtoField.string("kelo.parameters.line", "Line")),
    parameter_file = field(ProtoField.string("kelo.parameters.file", "Parameter file")),
    parameters_accepted = field(ProtoField.bool("kelo.parameters.accepted", "Parameters accepted")),
    error_count = field(ProtoField.int32("kelo.errors.count", "Error messages")),
    error_message = field(ProtoField.string("kelo.errors.message", "Error message")),

    string_length = field(ProtoField.uint32("kelo.string.length", "Text length")),
    calibration_text = field(ProtoField.string("kelo.calibration.text", "Text")),
    calibration_value = field(ProtoField.double("kelo.calibration.value", "Value")),
    calibration_trailer = field(ProtoField.uint32("kelo.calibration.trailer", "Calibration trailer", base.HEX)),
    calibration_entries = field(ProtoField.int32("kelo.calibration.entries", "Entries")),
    calibration_entry = field(ProtoField.none("kelo.calibration.entry", "Entry")),
    spare_word = field(ProtoField.int32("kelo.calibration.spare_word", "Spare word")),
    laser_count = field(ProtoField.int32("kelo.calibration.laser_count", "Laser count")),
    window = field(ProtoField.int32("kelo.calibration.window.raw", "Scan window word (thousandths)")),
    window_value = field(ProtoField.double("kelo.calibration.window", "Scan window value")),

    status_count = field(ProtoField.int32("kelo.status.count", "Status pairs")),
    status_pair = field(ProtoField.none("kelo.status.pair", "Status pair")),
    status_key = field(ProtoField.uint32("kelo.status.key", "Key")),
    status_value = field(ProtoField.int32("kelo.status.value", "Value")),
    description_text = field(ProtoField.string("kelo.description.text", "Description")),

    record_header = field(ProtoField.int32("kelo.record.header", "Header value")),
    point_count = field(ProtoField.int32("kelo.record.point_count", "Point count")),
    point = field(ProtoField.none("kelo.point", "Point")),
    point_values = {
        field(ProtoField.int32("kelo.point.value1", "Value 1")),
        field(ProtoField.int32("kelo.point.value2", "Value 2")),
        field(ProtoField.int32("kelo.point.value3", "Value 3")),
    },
    more_points = field(ProtoField.bytes("kelo.points.more", "Further points")),
    unused = field(ProtoField.bytes("kelo.record.unused", "Bytes after the counted points")),
    row_length = field(ProtoField.uint32("kelo.image.row_length", "Row length")),
    rows = field(ProtoField.uint32("kelo.image.rows", "Rows")),
    pixels = field(ProtoField.bytes("kelo.image.pixels", "Pixels")),
    batch_count = field(ProtoField.uint32("kelo.batch.count", "Profiles in the batch")),
    batch_answer = field(ProtoField.none("kelo.batch.answer", "Answer in the batch")),
}

local e = {
    short = ProtoExpert.new("kelo.short", "The message ends before its layout does",
        expert.group.PROTOCOL, expert.severity.WARN),
    extra = ProtoExpert.new("kelo.beyond_layout", "Bytes beyond the layout",
        expert.group.PROTOCOL, expert.severity.NOTE),
    unknown_command = ProtoExpert.new("kelo.unknown_command", "Command code not in the command table",
        expert.group.UNDECODED, expert.severity.NOTE),
    unknown_answer = ProtoExpert.new("kelo.unknown_answer", "Answer of a type whose layout is not known",
        expert.group.UNDECODED, expert.severity.NOTE),
    unmatched = ProtoExpert.new("kelo.unmatched", "No command of this stream awaits an answer",
        expert.group.SEQUENCE, expert.severity.NOTE),
    huge = ProtoExpert.new("kelo.huge_length", "Length word beyond any message; the stream is out of step",
        expert.group.PROTOCOL, expert.severity.WARN),
    rejected = ProtoExpert.new("kelo.parameters_rejected", "The scanner rejected the parameter set",
        expert.group.RESPONSE_CODE, expert.severity.WARN),
    refused = ProtoExpert.new("kelo.firmware_refused", "The scanner did not confirm the firmware update",
        expert.group.RESPONSE_CODE, expert.severity.WARN),
}
kelo.experts = {e.short, e.extra, e.unknown_command, e.unknown_answer, e.unmatched, e.huge,
    e.rejected, e.refused}

-- Bounded reading ---------------------------------------------------------

-- Reads fields one after another up to a limit; a field that does not fit
-- is flagged once and not read, so no read leaves the message.
local Reader = {}
Reader.__index = Reader

function Reader.new(tvb, offset, limit, tree)
    return setmetatable({tvb = tvb, pos = offset, limit = limit, tree = tree, short = false}, Reader)
end

function Reader:left()
    return self.limit - self.pos
end

function Reader:has(n)
    if self:left() >= n then return true end
    if not self.short then
        self.short = true
        self.tree:add_proto_expert_info(e.short)
    end
    return false
end

function Reader:take(n)
    local range = self.tvb(self.pos, n)
    self.pos = self.pos + n
    return range
end

-- One big-endian word into a field; returns the value (nil when absent).
function Reader:word(pf, tree, signed)
    if not self:has(4) then return nil end
    local range = self:take(4)
    local value = signed and range:int() or range:uint()
    return value, (tree or self.tree):add(pf, range)
end

-- The rest of the message as one field, when there is a rest; after a
-- field that did not fit, the rest is what there was of that field.
function Reader:rest(pf, tree, expert_info)
    if self:left() <= 0 then return end
    if self.short then pf, expert_info = f.payload, nil end
    local item = (tree or self.tree):add(pf, self:take(self:left()))
    if expert_info then item:add_proto_expert_info(expert_info) end
end

-- The longest prefix that "%lf" would read, as a number.
local function number_prefix(text)
    local number = text:match("^%s*([+-]?%d*%.?%d*[eE][+-]?%d+)") or text:match("^%s*([+-]?%d*%.?%d*)")
    return tonumber(number or "")
end

-- A counted string: a big-endian byte count, then the text. As a number
-- it also shows the value that the text reads as.
function Reader:counted(pf, label, tree, as_number)
    tree = tree or self.tree
    if not self:has(4) then return nil end
    local count = self.tvb(self.pos, 4):uint()
    if count > self:left() - 4 then
        tree:add(f.string_length, self:take(4)):prepend_text(label .. ": ")
        self:has(count)
        return nil
    end
    local range = self.tvb(self.pos, 4 + count)
    local text = count > 0 and self.tvb(self.pos + 4, count):raw() or ""
    local item = tree:add(pf, range, text)
    item:set_text(label .. ": " .. text)
    item:add(f.string_length, self:take(4))
    if count > 0 then self:take(count) end
    if as_number then
        local value = number_prefix(text)
        if value then item:add(f.calibration_value, range, value):set_generated() end
    end
    return text
end

-- Command payloads --------------------------------------------------------

-- Fixed layouts of 32-bit words. A number kind is the scale of a real value
-- sent as value times scale; "i" a signed word, "u" an unsigned one.
local function words(prefix, list)
    local layout = {}
    for i, spec in ipairs(list) do
        if spec.pf then
            layout[i] = spec
        else
            local name, kind, label = spec[1], spec[2], spec[3] or spec[1]
            local abbr = "kelo." .. prefix .. "." .. name
            if type(kind) == "number" then
                layout[i] = {
                    scale = kind,
                    pf = field(ProtoField.int32(abbr .. ".raw", label .. " (times " .. kind .. ")")),
                    value = field(ProtoField.double(abbr, label)),
                }
            else
                layout[i] = {signed = kind == "i",
                    pf = field(kind == "i" and ProtoField.int32(abbr, label) or ProtoField.uint32(abbr, label))}
            end
        end
    end
    return function(reader)
        for _, entry in ipairs(layout) do
            if not reader:has(4) then return end
            if entry.scale then
                local range = reader:take(4)
                local item = reader.tree:add(entry.value, range, range:int() / entry.scale)
                item:add(entry.pf, range)
            else
                reader:word(entry.pf, nil, entry.signed)
            end
        end
    end
end

local LASER = {pf = f.laser}
local laser_only = words("", {LASER})

local function firmware_upload(reader)
    local size = reader:left()
    local has_trailer = size >= 4 and reader.tvb(reader.limit - 4, 4):uint() == FIRMWARE_TRAILER
    if has_trailer then size = size - 4 end
    reader.tree:add(f.firmware_size, reader.tvb(4, 4), size):set_generated()
    if size > 0 then reader.tree:add(f.firmware_image, reader:take(size)) end
    if has_trailer then reader:word(f.firmware_trailer) end
end

local function parameter_text(reader)
    if reader:left() <= 0 then return end
    local range = reader:take(reader:left())
    local text = range:raw()
    local item = reader.tree:add(f.parameter_text, range, text)
    local offset = 0
    for line in (text .. "\n"):gmatch("([^\n]*)\n") do
        if offset < range:len() then
            item:add(f.parameter_line, range(offset, math.min(#line + 1, range:len() - offset)), line)
        end
        offset = offset + #line + 1
    end
end

local function calibration_values(reader, labels, tree)
    for _, label in ipairs(labels) do
        if not reader:counted(f.calibration_text, label, tree, true) then return false end
    end
    return true
end

local function numbered(prefix, count)
    local list = {}
    for i = 1, count do list[i] = prefix .. " " .. i end
    return list
end

local POSITIONS = numbered("Position", 3)
local TRANSFORMS = numbered("Transform parameter", 14)
local INTRINSIC = numbered("Intrinsic value", 14)

local function position_upload(reader)
    laser_only(reader)
    if calibration_values(reader, POSITIONS) then
        reader:counted(f.calibration_text, "Date line")
    end
end

local function intrinsic_upload(reader)
    laser_only(reader)
    if calibration_values(reader, INTRINSIC) then reader:word(f.calibration_trailer) end
end

local diagnostic = words("diagnostic", {{"value1", "u", "Value 1"}, {"value2", "u", "Value 2"},
    {"value3", "u", "Value 3"}})

-- Code -> answers owed, payload layout.
local commands = {
    [8] = {1, firmware_upload},
    [10] = {1}, [11] = {1}, [12] = {2}, [13] = {1}, [16] = {1},
    [18] = {1, parameter_text},
    [24] = {1},
    [26] = {1, words("description", {{"id", "u", "Identifier"}})},
    [28] = {0}, [29] = {0}, [33] = {0}, [35] = {0},
    [38] = {1, words("batch", {{"requested", "u", "Profiles requested"}})},
    [41] = {0, position_upload},
    [42] = {0, intrinsic_upload},
    [43] = {1, laser_only}, [44] = {1, laser_only}, [45] = {2, laser_only},
    [46] = {1, laser_only}, [47] = {1, laser_only},
    [48] = {1},
    [49] = {0, words("encoder", {{"value", "u", "Encoder value"}})},
    [52] = {0},
    [55] = {1, words("old_positions", {LASER, {"request_word", "u", "Request word"}})},
    [57] = {0, words("pulses", {{"setting1", "i", "Pulse setting 1"}, {"setting2", "u", "Pulse setting 2"},
        {"word3", "u", "Word 3"}, {"word4", "u", "Word 4"}})},
    [58] = {0, words("autoexposure", {{"real1", 1000}, {"real2", 1000}, {"real3", 1000},
        {"int1", "u"}, {"int2", "i"}, {"int3", "u"}, {"flag", "u"}})},
    [59] = {0, words("scan_window", {{"real1", 1000}, {"real2", 1000}, {"real3", 1000}, {"real4", 1000}})},
    [60] = {0, words("sync_settings", {{"real1", 1000000}, {"real2", 10000}, {"real3", 10000},
        {"int1", "u"}, {"flag1", "u"}, {"real4", 1000}, {"real5", 1000}, {"real6", 1000},
        {"real7", 1000}, {"real8", 1000}, {"flag2", "u"}, {"flag3", "u"}})},
    [61] = {0, words("alternating", {{"enable", "u", "Enable"}, {"exposure1", "i", "Exposure 1"},
        {"exposure2", "i", "Exposure 2"}})},
    [85] = {1, diagnostic},
    [86] = {2, diagnostic},
    [102] = {0},
}

-- Answer payloads ---------------------------------------------------------

local function points(reader, tree, count)
    local shown = math.min(count, kelo.prefs.points)
    for i = 0, shown - 1 do
        if not reader:has(12) then return end
        local range = reader:take(12)
        local v1, v2, v3 = range(0, 4):int(), range(4, 4):int(), range(8, 4):int()
        local item = tree:add(f.point, range)
        item:set_text(string.format("Point %d: %d, %d, %d", i, v1, v2, v3))
        for k = 1, 3 do item:add(f.point_values[k], range((k - 1) * 4, 4)) end
    end
    local more = (count - shown) * 12
    if more > 0 and reader:has(more) then tree:add(f.more_points, reader:take(more)) end
end

-- Header words, point count and points: profiles have nine header words,
-- scans eight.
local function point_record(header_words)
    return function(reader)
        for i = 1, header_words do
            local value, item = reader:word(f.record_header, nil, true)
            if not value then return end
            item:set_text(string.format("Header value %d: %d", i, value))
        end
        local count = reader:word(f.point_count, nil, true)
        if not count then return end
        if count > 0 then points(reader, reader.tree, count) end
        reader:rest(f.unused)
    end
end

local profile = point_record(9)
local scan = point_record(8)

-- Five header words, the fourth the row length, then one byte per pixel.
local function image(reader)
    local row_length
    for i = 1, 5 do
        local value, item = reader:word(i == 4 and f.row_length or f.record_header, nil, i ~= 4)
        if not value then return end
        if i == 4 then row_length = value else item:set_text(string.format("Header value %d: %d", i, value)) end
    end
    local pixels = reader:left()
    if pixels > 0 then
        local range = reader:take(pixels)
        local item = reader.tree:add(f.pixels, range)
        if row_length > 0 then
            item:add(f.rows, range, math.floor(pixels / row_length)):set_generated()
        end
    end
end

local function status_pairs(reader)
    local count = reader:word(f.status_count, nil, true)
    for _ = 1, (count or 0) do
        if not reader:has(8) then return end
        local range = reader:take(8)
        local item = reader.tree:add(f.status_pair, range)
        item:set_text(string.format("Status %u = %d", range(0, 4):uint(), range(4, 4):int()))
        item:add(f.status_key, range(0, 4))
        item:add(f.status_value, range(4, 4))
    end
end

local function parameter_errors(reader)
    local count = reader:word(f.error_count, nil, true)
    reader.tree:add_proto_expert_info(e.rejected)
    for i = 1, (count or 0) do
        if not reader:counted(f.error_message, "Error message " .. i) then return end
    end
end

local function calibration(reader)
    if not calibration_values(reader, POSITIONS) or not calibration_values(reader, TRANSFORMS) then return end
    reader:word(f.spare_word, nil, true)
    reader:word(f.laser_count, nil, true)
    for i = 1, 4 do
        if not reader:has(4) then return end
        local range = reader:take(4)
        local value = range:int() / 1000
        local item = reader.tree:add(f.window_value, range, value)
        item:set_text(string.format("Scan window %d: %s", i, value))
        item:add(f.window, range)
    end
end

local function old_positions(reader)
    local count = reader:word(f.calibration_entries, nil, true)
    for i = 1, (count or 0) do
        if reader:left() <= 0 then reader:has(1) return end
        local start = reader.pos
        local entry = reader.tree:add(f.calibration_entry, reader.tvb(start, reader:left()))
        entry:set_text("Entry " .. i)
        if not calibration_values(reader, POSITIONS, entry) then return end
        if not reader:counted(f.calibration_text, "Text", entry) then return end
        entry:set_len(reader.pos - start)
    end
end

local function description(reader)
    reader:counted(f.description_text, "Description")
end

local function parameter_file(reader)
    if reader:left() > 0 then
        local range = reader:take(reader:left())
        reader.tree:add(f.parameter_file, range, range:raw())
    end
end

local function accepted(reader)
    reader.tree:add(f.parameters_accepted, reader.tvb(0, 4), true):set_generated()
end

local dissect_inner

local function batch(reader, depth)
    local count = reader:word(f.batch_count)
    for i = 1, (count or 0) do
        if reader:left() <= 0 then reader:has(HEADER) return end
        if not dissect_inner(reader, depth + 1, i) then return end
    end
end

local by_type = {
    [0] = {profile}, [1] = {image}, [2] = {scan}, [21] = {parameter_errors},
    [34] = {function() end}, [39] = {batch},
}

-- Answers whose layout the command fixes, whatever their type word says.
local by_command = {
    [16] = {parameter_file, "Parameter file"}, [24] = {status_pairs, "Status"},
    [26] = {description, "Status description"}, [47] = {calibration, "Calibration"},
    [55] = {old_positions, "Old position calibrations"},
}

-- One answer inside a batch: header and payload, read by its type.
dissect_inner = function(reader, depth, index)
    if not reader:has(HEADER) then return false end
    local tvb, start = reader.tvb, reader.pos
    local answer_type, length = tvb(start, 4):uint(), tvb(start + 4, 4):uint()
    local size = math.min(HEADER + length, reader:left())
    local tree = reader.tree:add(f.batch_answer, tvb(start, size))
    tree:set_text(string.format("Answer %d in the batch: %s", index,
        answer_type_names[answer_type] or ("type " .. answer_type)))
    tree:add(f.answer_type, tvb(start, 4))
    tree:add(f.answer_length, tvb(start + 4, 4))
    if HEADER + length > reader:left() then tree:add_proto_expert_info(e.short) end
    local inner = Reader.new(tvb, start + HEADER, start + size, tree)
    local layout = by_type[answer_type]
    if layout and (answer_type ~= 39 or depth < MAX_BATCH_DEPTH) then
        layout[1](inner, depth)
        inner:rest(f.extra, nil, e.extra)
    else
        tree:add_proto_expert_info(e.unknown_answer)
        inner:rest(f.payload)
    end
    reader.pos = start + size
    return HEADER + length <= size
end

-- Matching answers to commands ----------------------------------------------

local tcp_stream = Field.new("tcp.stream")
local streams = {}  -- tcp.stream -> answers owed, oldest first
local matched = {}  -- "frame:message" -> what the first pass found for the message
local message_in_frame = 0

function kelo.init()
    streams = {}
    matched = {}
end

-- Each message is matched once, on the first pass that sees it; later
-- passes (and the GUI's random access) read the result back.
local function first_sight(pinfo)
    local key = pinfo.number .. ":" .. message_in_frame
    if pinfo.visited or matched[key] ~= nil then return nil, key end
    local id = tcp_stream()
    local stream_key = id and id.value or -1
    local state = streams[stream_key]
    if not state then
        state = {owed = {}, head = 1, tail = 0}
        streams[stream_key] = state
    end
    return state, key
end

local function owe_answers(pinfo, code, count)
    local state, key = first_sight(pinfo)
    if not state then return end
    matched[key] = false
    for part = 1, count do
        state.tail = state.tail + 1
        state.owed[state.tail] = {code = code, frame = pinfo.number, part = part}
    end
end

local function owed_answer(pinfo)
    local state, key = first_sight(pinfo)
    if state then
        local entry = state.owed[state.head] or false
        if entry then
            state.owed[state.head] = nil
            state.head = state.head + 1
        end
        matched[key] = entry
    end
    return matched[key] or nil
end

-- TCP messages --------------------------------------------------------------

local function is_command(pinfo)
    return pinfo.dst_port == TCP_PORT
end

local function message_length(tvb, pinfo, offset)
    local code, length = tvb(offset, 4):uint(), tvb(offset + 4, 4):uint()
    if length > MAX_PAYLOAD then return tvb:len() - offset end
    if is_command(pinfo) and code == OLD_POSITIONS then length = length + 4 end
    return HEADER + length
end

local function add_info(pinfo, text)
    local info = tostring(pinfo.cols.info)
    pinfo.cols.info = (info == "" and "" or info .. "; ") .. text
end

local function dissect_command(tvb, pinfo, tree)
    local code, length = tvb(0, 4):uint(), tvb(4, 4):uint()
    local command = commands[code]
    local name = command_names[code] or "Unknown command"
    local item = tree:add(kelo, tvb(), string.format("Kelo command %d: %s", code, name))
    item:add(f.command, tvb(0, 4))
    item:add(f.length, tvb(4, 4))
    add_info(pinfo, string.format("Command %d %s", code, name))
    if length > MAX_PAYLOAD then item:add_proto_expert_info(e.huge) end
    owe_answers(pinfo, code, command and command[1] or 0)
    local reader = Reader.new(tvb, HEADER, tvb:len(), item)
    if not command then
        item:add_proto_expert_info(e.unknown_command)
        reader:rest(f.payload)
        return
    end
    if command[2] then command[2](reader) end
    reader:rest(f.extra, nil, e.extra)
end

-- The confirmation word is read as it arrives: 14 00 00 00 confirms.
local function dissect_firmware_answer(tvb, item)
    local confirmed = tvb(0, 4):bytes():tohex() == "14000000"
    item:add(f.firmware_confirmation, tvb(0, 4))
    item:add(f.answer_length, tvb(4, 4))
    item:add(f.firmware_accepted, tvb(0, 4), confirmed):set_generated()
    if not confirmed then item:add_proto_expert_info(e.refused) end
    return confirmed and "firmware accepted" or "firmware not confirmed"
end

local function dissect_answer(tvb, pinfo, tree)
    local answer_type, length = tvb(0, 4):uint(), tvb(4, 4):uint()
    local owed = owed_answer(pinfo)
    local code = owed and owed.code
    local item = tree:add(kelo, tvb(), "Kelo answer")
    local reader = Reader.new(tvb, HEADER, tvb:len(), item)
    local summary
    if code == 8 then
        summary = dissect_firmware_answer(tvb, item)
    else
        local answer = item:add(f.answer_type, tvb(0, 4))
        item:add(f.answer_length, tvb(4, 4))
        if length > MAX_PAYLOAD then item:add_proto_expert_info(e.huge) end
        local layout, name = by_command[code], nil
        if layout then
            layout, name = layout[1], layout[2]
            answer:set_text(string.format("Answer type: %u (the scanner's; not read for this answer)",
                answer_type))
        elseif by_type[answer_type] then
            layout, name = by_type[answer_type][1], answer_type_names[answer_type]
        elseif code == 18 then
            layout, name = accepted, "Parameters accepted"
        else
            name = "Unknown answer type " .. answer_type
            item:add_proto_expert_info(e.unknown_answer)
        end
        summary = name
        if layout then layout(reader, 0) else reader:rest(f.payload) end
    end
    if owed then
        item:add(f.answer_to, tvb(0, HEADER), code):set_generated()
        item:add(f.request_frame, tvb(0, HEADER), owed.frame):set_generated()
        if code == 12 or code == 45 or code == 86 then
            summary = summary .. (owed.part == 1 and " (image part)" or " (scan part)")
        end
    else
        item:add_proto_expert_info(e.unmatched)
    end
    item:set_text(string.format("Kelo answer: %s%s", summary,
        owed and string.format(", to command %d (%s)", code, command_names[code]) or ""))
    add_info(pinfo, "Answer " .. summary)
    if code == 8 then reader:rest(f.payload) else reader:rest(f.extra, nil, e.extra) end
end

local function dissect_message(tvb, pinfo, tree)
    message_in_frame = message_in_frame + 1
    if is_command(pinfo) then
        dissect_command(tvb, pinfo, tree)
    else
        dissect_answer(tvb, pinfo, tree)
    end
    return tvb:len()
end

function kelo.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "KELO"
    pinfo.cols.info = ""
    message_in_frame = 0
    dissect_tcp_pdus(tvb, tree, HEADER, message_length, dissect_message)
    return tvb:len()
end

DissectorTable.get("tcp.port"):add(TCP_PORT, kelo)

-- UDP discovery and configuration ---------------------------------------------

local UDP_MAGIC = 0xA223AE7F
local UDP_SIZE = 538
local INFO_SIZE = 533

local udp_types = {[0] = "Discovery request", [1] = "Discovery reply", [2] = "IP configuration",
    [3] = "Cable-id configuration"}
local selector_modes = {[0] = "SelectAll", [1] = "SelectByCableId", [2] = "SelectBySerialNumber"}

local u = {
    magic = ProtoField.uint32("kelo_udp.magic", "Magic", base.HEX),
    type = ProtoField.uint8("kelo_udp.type", "Message type", base.DEC, udp_types),
    selector_mode = ProtoField.uint8("kelo_udp.selector.mode", "Selector mode", base.DEC, selector_modes),
    selector_value = ProtoField.uint32("kelo_udp.selector.value", "Selector value"),
    reply_port = ProtoField.uint16("kelo_udp.reply_port", "Reply port"),
    serial = ProtoField.uint32("kelo_udp.serial", "Serial number"),
    cable_action = ProtoField.uint8("kelo_udp.cable_id.action", "Cable-id action", base.DEC,
        {[2] = "Set", [3] = "Clear"}),
    cable_id = ProtoField.uint32("kelo_udp.cable_id", "Cable id"),
    ip_mode = ProtoField.uint8("kelo_udp.ip_mode", "IP mode", base.DEC,
        {[0] = "Static address", [1] = "Base address"}),
    address = ProtoField.ipv4("kelo_udp.address", "Address"),
    constant = ProtoField.bytes("kelo_udp.constant", "Constant"),
    second_address = ProtoField.ipv4("kelo_udp.second_address", "Second address"),
    info = ProtoField.none("kelo_udp.info", "ScannerInfo"),
    value1 = ProtoField.uint32("kelo_udp.info.value1", "value1"),
    value2 = ProtoField.uint16("kelo_udp.info.value2", "value2"),
    value3 = ProtoField.uint8("kelo_udp.info.value3", "value3"),
    value4 = ProtoField.uint32("kelo_udp.info.value4", "value4", base.HEX),
    identity = ProtoField.uint32("kelo_udp.info.identity", "identity"),
    value6 = ProtoField.uint8("kelo_udp.info.value6", "value6"),
    value7 = ProtoField.uint8("kelo_udp.info.value7", "value7"),
    value8 = ProtoField.uint32("kelo_udp.info.value8", "value8", base.HEX),
    block = ProtoField.bytes("kelo_udp.info.block", "block"),
    block_text = ProtoField.string("kelo_udp.info.block_text", "block as text"),
    unused = ProtoField.bytes("kelo_udp.unused", "Undefined bytes"),
}
kelo_udp.fields = u

local ue = {
    magic = ProtoExpert.new("kelo_udp.wrong_magic", "Not the kelo magic 0xA223AE7F",
        expert.group.PROTOCOL, expert.severity.WARN),
    size = ProtoExpert.new("kelo_udp.size", "Not a 538-byte message; missing bytes read as zero",
        expert.group.PROTOCOL, expert.severity.NOTE),
    nonzero = ProtoExpert.new("kelo_udp.nonzero", "Undefined bytes are not zero",
        expert.group.PROTOCOL, expert.severity.NOTE),
    unknown = ProtoExpert.new("kelo_udp.unknown_type", "Message type not known",
        expert.group.UNDECODED, expert.severity.NOTE),
}
kelo_udp.experts = {ue.magic, ue.size, ue.nonzero, ue.unknown}

-- Little-endian fields at fixed offsets, each read only when the datagram
-- holds it.
local function put(tree, tvb, pf, offset, size, big_endian)
    if offset + size > tvb:len() then return nil end
    local range = tvb(offset, size)
    if big_endian then tree:add(pf, range) else tree:add_le(pf, range) end
    return range
end

local layouts = {
    [0] = {{u.selector_mode, 5, 1}, {u.selector_value, 6, 4}, {u.reply_port, 10, 2}},
    [2] = {{u.selector_mode, 5, 1}, {u.serial, 6, 4}, {u.ip_mode, 10, 1}, {u.address, 11, 4, true},
        {u.constant, 15, 3, true}, {u.second_address, 18, 4, true}, {u.constant, 22, 2, true}},
    [3] = {{u.selector_mode, 5, 1}, {u.serial, 6, 4}, {u.cable_action, 10, 1}, {u.cable_id, 11, 4}},
}
local layout_ends = {[0] = 12, [1] = 5 + INFO_SIZE, [2] = 24, [3] = 15}

local function scanner_info(tvb, tree)
    local item = tree:add(u.info, tvb(5, math.min(INFO_SIZE, tvb:len() - 5)))
    for _, spec in ipairs({{u.value1, 0, 4}, {u.value2, 4, 2}, {u.value3, 6, 1}, {u.value4, 7, 4},
        {u.identity, 11, 4}, {u.value6, 15, 1}, {u.value7, 16, 1}, {u.value8, 17, 4}, {u.block, 21, 512}}) do
        put(item, tvb, spec[1], 5 + spec[2], spec[3])
    end
    if tvb:len() >= 5 + INFO_SIZE then
        local text = tvb(26, 512):stringz()
        if #text > 0 and text:match("^[%g ]+$") then
            item:add(u.block_text, tvb(26, #text), text):set_generated()
        end
    end
    return item
end

function kelo_udp.dissector(tvb, pinfo, tree)
    pinfo.cols.protocol = "KELO-UDP"
    local item = tree:add(kelo_udp, tvb())
    if tvb:len() ~= UDP_SIZE then item:add_proto_expert_info(ue.size) end
    local magic = put(item, tvb, u.magic, 0, 4)
    if magic and magic:le_uint() ~= UDP_MAGIC then item:add_proto_expert_info(ue.magic) end
    if not put(item, tvb, u.type, 4, 1) then
        pinfo.cols.info = "Kelo message too short"
        return tvb:len()
    end
    local message_type = tvb(4, 1):uint()
    local name = udp_types[message_type] or ("Unknown message type " .. message_type)
    item:append_text(": " .. name)
    pinfo.cols.info = name
    if message_type == 1 then
        if tvb:len() > 5 then
            scanner_info(tvb, item)
            if tvb:len() >= 20 then
                pinfo.cols.info = string.format("%s, identity %u", name, tvb(16, 4):le_uint())
            end
        end
    elseif layouts[message_type] then
        for _, spec in ipairs(layouts[message_type]) do put(item, tvb, spec[1], spec[2], spec[3], spec[4]) end
        if tvb:len() >= 10 then
            pinfo.cols.info = string.format("%s, %s %u", name, selector_modes[tvb(5, 1):uint()] or "selector",
                tvb(6, 4):le_uint())
        end
    else
        item:add_proto_expert_info(ue.unknown)
    end
    local finish = layout_ends[message_type] or 5
    if tvb:len() > finish then
        local rest = tvb(finish)
        local unused = item:add(u.unused, rest)
        if not rest:bytes():tohex():match("^0*$") and layout_ends[message_type] then
            unused:add_proto_expert_info(ue.nonzero)
        end
    end
    return tvb:len()
end

DissectorTable.get("udp.port"):add(UDP_PORT, kelo_udp)

kelo.fields = fields
