-- The contract every archive command keeps, as one table: an unknown id,
-- an index without an entry, an argument of the wrong type (raised before
-- anything is held), an archive in use by a close or an extraction
-- callback, and an archive opened read-only. Each refusal changes nothing.
local T = require("testlib")
require_plugin("zip")

local ZIPERR, BUSY, NOTFOUND = "A zip error has occurred!", "Zip archive is in use!", "Cannot find specified zip archive!"
local archive, copy = T.path("contract.zip"), T.path("copy.zip")
local data = string.rep("contract ", 30000)
T.pyzip(archive, {{"big.txt", data}, {"small.txt", "small"}}, "kept")
local source, out = T.path("source.txt"), T.path("out.txt")
T.writefile(source, "data")

local ID, IX = {}, {}  -- stand for the archive id and an entry index
-- command, arguments, whether it reads only (allowed while extracting),
-- and the arguments whose wrong type is checked (positions; all by default)
local commands = {
  {"GetFileAtIndex", {ID, IX}, reads = true},
  {"LocateFile", {ID, "small.txt", {nocase = 1}}, reads = true, noindex = true},
  {"GetFileAttributes", {ID, IX}, reads = true},
  {"GetFileComment", {ID, IX}, reads = true, indices = {2, -2}, indexResult = ""},
  {"ExtractFile", {ID, IX, out, {password = "x"}}, reads = true, stringOptions = true},
  {"DeleteFile", {ID, IX}},
  {"RenameFile", {ID, IX, "renamed"}},
  {"SetFileTime", {ID, IX, "01-Jan-2000 00:00:00"}},
  {"SetFileComment", {ID, "note", IX}, indices = {2, -2, 1e12}},
  {"SetFileCompression", {ID, IX, ZIP_CM_STORE, 5}},
  {"SetFileEncryption", {ID, IX, ZIP_EM_AES_128, "pw"}},
  {"SetDefaultPassword", {ID, "pw"}, noindex = true},
  {"AddDirectory", {ID, "newdir"}, noindex = true},
  {"AddFile", {ID, source, {newname = "n", comment = "c", password = "p", time = "01-Jan-2000 00:00:00"}},
   noindex = true, stringOptions = true},
  {"Attribute", {ID}, reads = true, noindex = true, call = function(id)
    return host.getattribute(zip.GetObjectType(), id, ZIPATTRNUMENTRIES) end},
}

-- Calls command row with id and index in their places, argument at
-- position wrong (if any) replaced by value.
local function call(row, id, index, wrong, value)
  local args = {}
  for i, a in ipairs(row[2]) do args[i] = a == ID and id or a == IX and index or a end
  if wrong then args[wrong] = value end
  local fn = row.call or zip[row[1]]
  return fn(table.unpack(args, 1, #row[2]))
end

T.case("an unknown id and an index without an entry", function()
  zip.OpenArchive(1, archive, 1004)
  for _, row in ipairs(commands) do
    local ok, msg = pcall(call, row, 9, 0)
    T.eq(msg, NOTFOUND, row[1] .. " with an unknown id")
    if not row.noindex then
      for _, index in ipairs(row.indices or {2, -1, -2147483648, 1e12}) do
        ok, msg = pcall(call, row, 1, index)
        T.eq(msg, row.indexResult or ZIPERR, row[1] .. " at index " .. index)
      end
    end
  end
  T.eq(zip.GetFileAtIndex(1, 1.9), "small.txt", "indices are truncated")
  T.eq(zip.GetFileAtIndex(1, -0.5), "big.txt", "toward zero")
  zip.CloseArchive(1, 1)
end)

T.case("arguments of the wrong type raise before anything is held", function()
  zip.OpenArchive(1, archive)
  local held = T.blocks()
  for _, row in ipairs(commands) do
    for position, arg in ipairs(row[2]) do
      local wrong = type(arg) == "table" and arg ~= ID and arg ~= IX and "x" or {}
      local ok, msg = pcall(call, row, 1, 0, position, wrong)
      T.ok(not ok and tostring(msg):find("bad argument", 1, true), row[1] .. " argument " .. position .. ": " .. tostring(msg))
      T.eq(T.blocks(), held, row[1] .. " argument " .. position .. " left memory")
    end
    -- string options of the wrong type
    local options = row[2][#row[2]]
    if row.stringOptions then
      for key in pairs(options) do
        local bad = {}
        for k, v in pairs(options) do bad[k] = v end
        bad[key] = {}
        local ok, msg = pcall(call, row, 1, 0, #row[2], bad)
        T.ok(not ok, row[1] .. " option " .. key .. " of the wrong type raises")
        T.eq(T.blocks(), held, row[1] .. " option " .. key .. " left memory")
      end
      -- an __index that raises at each of its calls in turn, while a
      -- present option may already be copied
      for n = 1, 10 do
        local calls = 0
        local raising = setmetatable({password = "pw"}, {__index = function()
          calls = calls + 1
          if calls == n then error("raised by __index") end
        end})
        pcall(call, row, 1, 0, #row[2], raising)
        T.eq(T.blocks(), held, row[1] .. " with __index raising at call " .. n .. " left memory")
      end
    end
  end
  for _, bad in ipairs({{"one", archive}, {1, {}}, {1, archive, "fast"}}) do
    T.err(function() zip.OpenArchive(table.unpack(bad)) end, "bad argument", true)
  end
  for _, bad in ipairs({{{}}, {1, "yes"}, {1, 0, "callback"}, {1, 0, 42}}) do
    T.err(function() zip.CloseArchive(table.unpack(bad)) end, "bad argument", true)
  end
  T.eq(T.blocks(), held, "CloseArchive and OpenArchive left memory")
  zip.CloseArchive(1)
end)

T.case("a read-only archive refuses every change and keeps its file", function()
  local before = T.readfile(archive)
  zip.OpenArchive(1, archive)
  for _, row in ipairs(commands) do
    if not row.reads and row[1] ~= "SetDefaultPassword" then
      local ok, msg = pcall(call, row, 1, 0)
      T.eq(msg, ZIPERR, row[1] .. " on a read-only archive")
    end
  end
  T.err(function() zip.SetFileComment(1, "c") end, ZIPERR)
  zip.SetDefaultPassword(1, "only used for reading")
  T.eq(zip.GetFileComment(1), "kept", "archive comment")
  zip.CloseArchive(1)
  T.ok(T.readfile(archive) == before, "file unchanged")
end)

-- Runs probe(row) from the first progress report of a close (or an
-- extraction) of archive 1; returns the messages per command.
local function fromCallback(closing, probe)
  local messages = {}
  local function callback()
    if next(messages) then return end
    for _, row in ipairs(commands) do
      local ok, msg = pcall(probe, row)
      messages[row[1]] = ok and "ok" or msg
    end
    local ok, msg = pcall(zip.OpenArchive, 1, archive)
    messages.OpenArchive = ok and "ok" or msg
    ok, msg = pcall(zip.CloseArchive, 1, 1)
    messages.CloseArchive = ok and "ok" or msg
  end
  if closing then
    zip.CloseArchive(1, 0, callback)
  else
    zip.ExtractFile(1, 0, T.path("extracted.txt"), {callback = callback})
    T.eq(T.readfile(T.path("extracted.txt")), data, "the extraction goes on")
  end
  return messages
end

T.case("an archive in use by a close or an extraction refuses what would disturb it", function()
  for _, closing in ipairs({true, false}) do
    T.writefile(copy, T.readfile(archive))
    zip.OpenArchive(1, copy, 1004)
    zip.AddDirectory(1, "d")
    local messages = fromCallback(closing, function(row) return call(row, 1, 1) end)
    for _, row in ipairs(commands) do
      T.eq(messages[row[1]], (row.reads and not closing) and "ok" or BUSY, row[1] .. (closing and " while closing" or " while extracting"))
    end
    T.eq(messages.OpenArchive, BUSY, "reopening its id")
    T.eq(messages.CloseArchive, BUSY, "closing it")
    if not closing then
      T.eq(zip.GetFileAtIndex(1, 1), "small.txt", "nothing changed")
      zip.CloseArchive(1)
    end
    zip.OpenArchive(1, copy)
    T.eq(T.entryCount(1), 3, "written once, as it was")
    zip.CloseArchive(1)
  end
end)

T.case("a nested extraction leaves the archive guarded; other archives stay usable", function()
  zip.OpenArchive(1, archive)
  local messages = {}
  zip.ExtractFile(1, 0, out, {callback = function(t)
    if #messages > 0 then return end
    zip.ExtractFile(t.id, 1, T.path("nested.txt"))
    messages[1] = select(2, pcall(zip.CloseArchive, 1))
    zip.OpenArchive(2, copy, 1004)
    zip.AddFile(2, source, {newname = "side"})
    zip.CloseArchive(2, 0, function() end)
  end})
  T.eq(messages[1], BUSY, "still guarded after a nested extraction")
  T.eq(T.readfile(T.path("nested.txt")), "small", "nested extraction")
  zip.CloseArchive(1)
end)

T.case("a close callback may close another archive, both in parallel blocks", function()
  local lines = {}
  for i = 1, 60000 do lines[i] = string.format("%d %d\n", i, i * 7919 % 100003) end
  local big = T.path("data.txt")
  T.writefile(big, table.concat(lines))
  local main, side = T.path("main.zip"), T.path("side.zip")
  T.pyzip(side, {{"a", "alpha"}})
  zip.OpenArchive(1, main, 1006)
  zip.AddFile(1, big)
  local done = false
  zip.CloseArchive(1, 0, function(t)
    if done or t.progress == 0 then return end
    done = true
    zip.OpenArchive(2, side, 1004)
    zip.AddFile(2, big)
    zip.CloseArchive(2, 0, function() end)
  end)
  for path, index in pairs({[main] = 0, [side] = 1}) do
    zip.OpenArchive(3, path)
    zip.ExtractFile(3, index, out)
    zip.CloseArchive(3)
    T.ok(T.readfile(out) == table.concat(lines), "the whole file in " .. path)
  end
end)

T.finish()
