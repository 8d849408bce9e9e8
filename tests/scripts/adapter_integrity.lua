-- Damaged and encrypted entries read through the adapter and extracted:
-- never wrong bytes reported as good ones.
local T = require("testlib")
require_plugin("zip", {installadapter = true})

local text = string.rep("The quick brown fox jumps over the lazy dog. ", 40)

-- Reads everything through the adapter; nil when any read fails.
local function readAll(path, opts, chunk)
  local f = host.open(path, "r", opts)
  if not f then return nil end
  local parts = {}
  while true do
    local s, msg = f:read(chunk or 1000)
    if s == nil then
      f:close()
      return not msg and table.concat(parts) or nil
    end
    parts[#parts + 1] = s
  end
end

T.case("a damaged stored entry fails at its end instead of reading back wrong bytes", function()
  local p = T.path("damaged.zip")
  T.pyzip(p, {{"a.txt", text, method = "stored"}, {"b.txt", "intact", method = "stored"}})
  T.damage(p, "lazy dog")
  T.eq(readAll(p .. "/a.txt"), nil)
  T.eq(readAll(p .. "/a.txt", {sequential = true}), nil, "sequential")
  T.eq(readAll(p .. "/b.txt"), "intact")
  -- every format fails at the end of the entry, where the check is made,
  -- instead of ending cleanly; lines raise
  local failure = p .. "/a.txt: Input/output error"
  for _, format in ipairs({1, 5000, "l", "n", "a", 0}) do
    local f <close> = assert(host.open(p .. "/a.txt"))
    local data, msg = f:read(format)
    T.eq(data, nil, "read " .. format)
    T.eq(msg, failure, "message of read " .. format)
    T.eq(f:eof(), false, "the position stays before the end")
  end
  local f <close> = assert(host.open(p .. "/a.txt"))
  T.ok(T.err(function() for _ in f:lines() do end end):find(failure, 1, true), "lines raise")
  local data, msg = host.readfile(p .. "/a.txt")
  T.eq(data, nil, "readfile gives no part of the data")
  T.eq(msg, failure, "but the reason")
end)

-- Runs command (an archiver) in the work folder on a fresh archive name and
-- file; returns the archive's path.
local function archive(command, name, file)
  T.run(string.format("cd '%s' && rm -f %s && %s %s %s", T.work, name, command, name, file))
  return T.path(name)
end

T.writefile(T.path("secret.txt"), text)
local pkware = archive("zip -q -P right", "pk.zip", "secret.txt")

T.case("damaged and encrypted entries read and extract with the right password only; AES (AE-2, no CRC) is authenticated", function()
  local digits = {}
  for i = 1, 30000 do digits[i] = tostring(i * 7919 % 100003) end
  local data = table.concat(digits, ",")
  T.writefile(T.path("aes2.txt"), data)
  local stored = archive("7z a -tzip -mem=AES256 -mx0 -psecret", "aes2s.zip", "aes2.txt")
  local deflated = archive("7z a -tzip -mem=AES256 -psecret", "aes2d.zip", "aes2.txt")
  local plain = T.path("plain.zip")
  T.pyzip(plain, {{"d.txt", data}})
  local function flipped(path)
    local bytes = T.readfile(path)
    local at = #bytes // 2
    local copy = path:gsub("%.zip$", "-bad.zip")
    T.writefile(copy, bytes:sub(1, at - 1) .. string.char(bytes:byte(at) ~ 0x04) .. bytes:sub(at + 1))
    return copy
  end
  -- 7-Zip's output, password "secret"; "wrong32244" passes its verifier.
  local repro = T.data .. "/aes7z_store.zip"
  -- Empty entries that are not: stored with CRC 0x12345678, and deflated
  -- data of "hello" claiming size and CRC 0.
  local function empty(name, data, method, crc)
    local p = T.path(name)
    T.pyzip(p, {{"e", data, method = method}})
    local b = T.readfile(p)
    local function put(at, v) b = b:sub(1, at) .. string.pack("<I4", v) .. b:sub(at + 5) end
    local central = b:find("PK\1\2", 1, true) - 1
    put(14, crc) put(22, 0) put(central + 16, crc) put(central + 24, 0)
    T.writefile(p, b)
    return p
  end
  local cases = {  -- archive, entry, password, expected data (true: any, nil: must fail)
    {flipped(plain), "d.txt", nil, nil},
    {pkware, "secret.txt", "right", text},
    {pkware, "secret.txt", nil, nil},
    {pkware, "secret.txt", "right" .. string.rep("x", 1100), nil},  -- longer than a handle holds: refused, not cut
    {pkware, "secret.txt", string.rep("r", 1023), nil},  -- wrong, but fits
    {stored, "aes2.txt", "secret", data},
    {deflated, "aes2.txt", "secret", data},
    {deflated, "aes2.txt", "Secret", nil},
    {deflated, "aes2.txt", nil, nil},
    {flipped(stored), "aes2.txt", "secret", nil},
    {flipped(deflated), "aes2.txt", "secret", nil},
    {repro, "rand.bin", "secret", true},
    {repro, "rand.bin", "wrong32244", nil},
    {empty("emptycrc.zip", "", "stored", 0x12345678), "e", nil, nil},
    {empty("emptyhello.zip", "hello", "deflated", 0), "e", nil, nil},
  }
  for i = 1, 40 do cases[#cases + 1] = {pkware, "secret.txt", "wrong" .. i, nil} end
  for n, c in ipairs(cases) do
    local what = n .. ": " .. c[1]:match("[^/]+$") .. " " .. tostring(c[3])
    local got = readAll(c[1] .. "/" .. c[2], {password = c[3]})
    local dst = T.path("aes2-" .. n .. ".out")
    zip.OpenArchive(1, c[1])
    local ok = pcall(zip.ExtractFile, 1, zip.LocateFile(1, c[2]), dst, {password = c[3]})
    zip.CloseArchive(1)
    if c[4] == nil then
      T.eq(got, nil, what .. ": adapter read")
      T.eq(host.open(c[1] .. "/" .. c[2], "rw", {password = c[3]}), nil, what .. ": loading for a change")
      T.eq(ok, false, what .. ": extraction")
      T.eq(T.readfile(dst), nil, what .. ": destination removed")
    else
      T.ok(got and (c[4] == true or got == c[4]), what .. ": adapter read")
      T.ok(ok and T.readfile(dst) == got, what .. ": extraction")
    end
  end
  T.eq(readAll(deflated .. "/aes2.txt", {password = "secret"}, 7), data, "small chunks")
end)

T.finish()
