-- Small test library for script tests run through orhost.
--
--   local T = require("testlib")
--   T.case("what it proves", function() ... end)
--   T.finish()   -- prints "N passed, N failed", exits non-zero on failure
--
-- Every case must leave host.memory().blocks at 0; T.case checks it.
local T = {}

local passed, failed = 0, 0

T.work = os.getenv("TEST_WORK") or "/tmp/orhost-test"
T.data = os.getenv("TEST_DATA") or "."
-- The orhost under test, for scripts that start another.
T.orhost = os.getenv("ORHOST") or "orhost"
os.execute("rm -rf '" .. T.work .. "' && mkdir -p '" .. T.work .. "'")

-- A path inside the test's own scratch folder.
function T.path(name) return T.work .. "/" .. name end

local function fail(msg) error(msg, 3) end

function T.eq(got, want, what)
  if got ~= want then
    fail(string.format("%s: expected %s, got %s", what or "value", tostring(want), tostring(got)))
  end
end

function T.ok(cond, what)
  if not cond then fail((what or "condition") .. " is false") end
end

-- Runs fn, which must raise; the message must equal want exactly (or match
-- it as a Lua pattern when pattern is true). Returns the message.
function T.err(fn, want, pattern)
  local ok, msg = pcall(fn)
  if ok then fail("expected error " .. tostring(want) .. ", got success") end
  msg = tostring(msg)
  if want then
    local good = pattern and msg:find(want) or msg == want
    if not good then fail(string.format("expected error %q, got %q", want, msg)) end
  end
  return msg
end

-- Runs fn, which must raise want exactly once its position ("file:line: ") is dropped.
function T.raises(fn, want) T.eq((T.err(fn):gsub("^[^:]*:%d+: ", "")), want) end

-- Runs a shell command; returns its output and whether it exited 0.
function T.sh(cmd)
  local p = io.popen(cmd .. " 2>&1")
  local out = p:read("a")
  local ok = p:close()
  return out, ok
end

-- Runs a shell command that must succeed; returns its output.
function T.run(cmd)
  local out, ok = T.sh(cmd)
  if not ok then fail(cmd .. ": " .. out) end
  return out
end

-- The system's python3 starts far faster than a version manager's shim.
T.python = os.execute("test -x /usr/bin/python3") and "/usr/bin/python3" or "python3"

-- What python prints for expression over z, the zipfile.ZipFile of path
-- (its last newline dropped).
function T.zipeval(path, expression)
  local code = "import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); print(" .. expression .. ")"
  return (T.run(string.format("%s -c \"%s\" '%s'", T.python, code, path)):gsub("\n$", ""))
end

-- "name=data" of every entry of the archive at path, in order, joined by ",".
function T.contents(path)
  return T.zipeval(path, "','.join(n + '=' + z.read(n).decode() for n in z.namelist())")
end

-- unzip -t must find the archive at path sound.
function T.unzipTest(path)
  local out, ok = T.sh("unzip -tq '" .. path .. "'")
  if not ok then fail("unzip -t " .. path .. ": " .. out) end
end

-- The bytes of the file at path, or nil when there is none.
function T.readfile(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local s = f:read("a"); f:close(); return s
end

function T.writefile(path, data)
  local f = assert(io.open(path, "wb")); f:write(data); f:close()
end

local function hex(s) return (s:gsub(".", function(c) return string.format("%02x", c:byte()) end)) end

-- Flips a bit of the first byte of needle in the file at path (writing the
-- result to copy, when given): an entry holding it no longer matches its CRC.
function T.damage(path, needle, copy)
  local data = T.readfile(path)
  local at = assert(data:find(needle, 1, true), "needle not found")
  T.writefile(copy or path, data:sub(1, at - 1) .. string.char(data:byte(at) ~ 0x20) .. data:sub(at + 1))
end

-- Makes an archive with python3's zipfile: entries is a list of
-- {name, data [, method = "stored"|"deflated"|"bzip2"]}; every entry is
-- dated 17-May-2020 10:30:00.
function T.pyzip(path, entries, comment)
  local script = {"import zipfile,sys", "z=zipfile.ZipFile(sys.argv[1],'w')"}
  for _, e in ipairs(entries) do
    local method = ({stored = "ZIP_STORED", deflated = "ZIP_DEFLATED", bzip2 = "ZIP_BZIP2"})[e.method or "deflated"]
    script[#script + 1] = string.format(
      "zi=zipfile.ZipInfo(bytes.fromhex('%s').decode(), date_time=(2020,5,17,10,30,0)); zi.compress_type=zipfile.%s; z.writestr(zi, bytes.fromhex('%s'))",
      hex(e[1]), method, hex(e[2]))
  end
  if comment then script[#script + 1] = string.format("z.comment=bytes.fromhex('%s')", hex(comment)) end
  script[#script + 1] = "z.close()"
  local py = T.path(".mkzip.py")
  T.writefile(py, table.concat(script, "\n") .. "\n")
  local out, ok = T.sh("python3 '" .. py .. "' '" .. path .. "'")
  if not ok then error("python3 failed: " .. out) end
end

-- The number of entries of archive id (1 by default), as the host's attribute gives it.
function T.entryCount(id) return host.getattribute(zip.GetObjectType(), id or 1, ZIPATTRNUMENTRIES) end

-- Runs fn with path open as archive id (mode as zip.OpenArchive takes it)
-- and closes the archive whatever happens, discarding its changes when
-- discard is true.
local function withOpenArchive(id, path, fn, mode, discard)
  zip.OpenArchive(id, path, mode)
  local ok, msg = pcall(fn)
  zip.CloseArchive(id, discard and 1 or 0)
  if not ok then error(msg, 0) end
end

-- fn with path open as archive id 1.
function T.withArchive(path, fn, mode, discard) withOpenArchive(1, path, fn, mode, discard) end

-- fn with a written archive opened read-only as id 2, beside id 1.
function T.readBack(path, fn) withOpenArchive(2, path, fn) end

function T.blocks() return host.memory().blocks end

function T.case(name, fn)
  local ok, msg = xpcall(fn, debug.traceback)
  if ok and T.blocks() ~= 0 then
    local tags = {}
    for tag, n in pairs(host.memory().tags) do tags[#tags + 1] = tag .. "=" .. n end
    ok, msg = false, "host memory left behind: " .. T.blocks() .. " blocks (" .. table.concat(tags, ",") .. ")"
  end
  host.failalloc(0)
  for _, op in ipairs({"open", "read", "write", "seek", "examine"}) do host.failio(op, 0) end
  if ok then
    passed = passed + 1
  else
    failed = failed + 1
    io.stderr:write("FAIL: " .. name .. "\n" .. tostring(msg) .. "\n")
  end
end

function T.finish()
  print(string.format("%d passed, %d failed", passed, failed))
  if failed > 0 then os.exit(1) end
end

return T
