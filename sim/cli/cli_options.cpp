#include "sim/cli/cli_options.h"

#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

bool takeValue(int argc, const char* const* argv, int& i, std::string& value, std::string& error) {
    if (i + 1 >= argc) {
        error = std::string(argv[i]) + " needs a value";
        return false;
    }
    value = argv[++i];
    return true;
}

// "--host-fault-matrix" (every part) or "--host-fault-matrix=events,doors".
bool hostMatrixParts(const std::string& arg, std::vector<std::string>& parts, std::string& error) {
    const std::size_t equals = arg.find('=');
    const std::string list =
        equals == std::string::npos ? "events,doors,requests" : arg.substr(equals + 1);
    parts.clear();
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        comma = comma == std::string::npos ? list.size() : comma;
        const std::string part = list.substr(start, comma - start);
        if (part != "events" && part != "doors" && part != "requests") {
            error = "--host-fault-matrix: unknown part \"" + part +
                    "\" (events, doors or requests, separated by commas)";
            return false;
        }
        parts.push_back(part);
        start = comma + 1;
    }
    return true;
}

} // namespace

bool parseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-m" || arg == "--module") {
            if (!takeValue(argc, argv, i, options.run.modulePath, error)) {
                return false;
            }
        } else if (arg == "--store") {
            if (!takeValue(argc, argv, i, options.run.storePath, error)) {
                return false;
            }
        } else if (arg == "--record") {
            if (!takeValue(argc, argv, i, options.run.recordPath, error)) {
                return false;
            }
        } else if (arg == "--read-only") {
            options.run.readOnlyStore = true;
        } else if (arg == "--journal") {
            if (!takeValue(argc, argv, i, options.run.journalPath, error)) {
                return false;
            }
        } else if (arg == "--receipts") {
            if (!takeValue(argc, argv, i, options.run.receiptsPath, error)) {
                return false;
            }
        } else if (arg == "--junit" || arg == "--json" || arg == "--filter") {
            std::string& value = arg == "--junit"  ? options.junitPath
                                 : arg == "--json" ? options.jsonPath
                                                   : options.filter;
            if (!takeValue(argc, argv, i, value, error)) {
                return false;
            }
        } else if (arg == "--in-process") {
            options.inProcess = true;
        } else if (arg == "--seed") {
            std::string value;
            if (!takeValue(argc, argv, i, value, error)) {
                return false;
            }
            char* end = nullptr;
            const unsigned long seed = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || value[0] == '-' || seed > 0xFFFFFFFFul) {
                error = "--seed needs a number from 0 to 4294967295, not \"" + value + "\"";
                return false;
            }
            options.run.seed = static_cast<unsigned>(seed);
            options.seedGiven = true;
        } else if (arg == "-q" || arg == "--quiet") {
            options.run.level = Level::quiet;
        } else if (arg == "-b" || arg == "--brief") {
            options.run.level = Level::brief;
        } else if (arg == "-v" || arg == "--verbose") {
            options.run.level = Level::verbose;
        } else if (arg == "-i" || arg == "--interactive") {
            options.run.interactive = true;
        } else if (arg == "--no-qr") {
            options.noQr = true;
        } else if (arg == "--fault-matrix") {
            options.faultMatrix = true;
        } else if (arg == "--host-fault-matrix" || arg.rfind("--host-fault-matrix=", 0) == 0) {
            if (!hostMatrixParts(arg, options.hostFaultMatrix, error)) {
                return false;
            }
        } else if (arg == "--list") {
            options.listOnly = true;
        } else if (arg == "--check") {
            options.checkOnly = true;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "--help-scenario") {
            options.helpScenario = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            options.scenarios.push_back(arg);
        }
    }
    const bool matrix = options.faultMatrix || !options.hostFaultMatrix.empty();
    if (options.run.readOnlyStore && (options.run.storePath.empty() || matrix)) {
        error = "--read-only goes with --store FILE, and not with a fault matrix";
        return false;
    }
    if (!options.run.recordPath.empty() && !options.run.interactive) {
        error = "--record goes with --interactive";
        return false;
    }
    if (options.listOnly && !matrix) {
        error = "--list goes with --fault-matrix or --host-fault-matrix";
        return false;
    }
    if (options.faultMatrix && !options.hostFaultMatrix.empty()) {
        error = "--fault-matrix and --host-fault-matrix run one at a time";
        return false;
    }
    if (matrix && (options.run.interactive || options.checkOnly)) {
        error = std::string(options.run.interactive ? "--interactive" : "--check") +
                " works on SCENARIO files: leave out the fault matrix";
        return false;
    }
    if (options.listOnly && !options.scenarios.empty()) {
        error = "--list names the generated scenarios only: leave out the SCENARIO files";
        return false;
    }
    if (options.inProcess && !options.run.modulePath.empty()) {
        error = "--in-process runs the module built into klarna-sim: leave out --module";
        return false;
    }
    if (options.seedGiven && !options.inProcess) {
        error = "--seed goes with --in-process (a loaded module takes its own random numbers)";
        return false;
    }
    if (!options.help && !options.helpScenario && !options.version && !options.checkOnly &&
        !options.listOnly && !options.inProcess && options.run.modulePath.empty()) {
        error = "--module PATH (or --in-process) is required";
        return false;
    }
    return true;
}

const char* usageText() {
    return R"(klarna-sim: runs the Klarna payment module the way a host payment client does.

It loads the module (klarna.so or klarna.dll), hands it a startup record and a
send callback, and then plays everything outside the module: the host client,
the pinpad, the POS, the receipt printer, the variable store, the journal, the
timer and the Klarna payment gateway. Time is virtual: a 70-second wait for the
customer costs no real time.

usage:
  klarna-sim --module PATH [options] [SCENARIO...]
  klarna-sim --in-process [--seed N] [options] [SCENARIO...]

The gateway's payment times (paydt, printed on receipts) follow the virtual
clock. With a loaded module it starts at the machine's time, the time the
module reads, so both tell the same date; the module's own dates, UUIDs and
terminal id then differ from run to run. Use --in-process for runs to diff.

With no SCENARIO a demonstration runs: an approved QR purchase from the POS,
with the terminal's first logon, on the built-in gateway. Each SCENARIO file
says how the host is set up, what the POS, the customer and the operator do,
how the gateway behaves and what must come out; klarna-sim reports every
expectation that failed and exits non-zero.

options:
  -m, --module PATH   the module to load (required unless --in-process)
      --in-process    run the module built into klarna-sim instead of loading
                      a library: its clock is the virtual clock from
                      2024-01-01 10:00:00 UTC, its UUIDs, terminal id and
                      references come from --seed, so two runs of the same
                      scenarios write byte-identical output (the PASS lines
                      leave out the wall-clock time; the reports keep it)
      --seed N        with --in-process: the seed of those values (1)
  -q, --quiet         print only failures and one line per scenario
  -b, --brief         print the payment's story only: screens, gateway
                      message kinds with their answer codes, the customer and
                      the operator, receipts, printer failures and results
                      (no registrations, variables or message texts)
  -v, --verbose       also print every message as full XML text (the default
                      prints each message in one line, each GetVariable with
                      the store's answer, each gateway message once)
  -i, --interactive   you play the POS, the customer and the operator at the
                      keyboard (a SCENARIO, if given, sets the host up and
                      runs its actions first). On Linux lines can be edited
                      and the history (~/.klarna-sim_history) recalled with
                      the arrow keys; status shows the store, the pinpad, a
                      pending reversal and the gateway's orders; fault lines
                      change the gateway's faults at the prompt
      --record FILE   with --interactive: write what you did as a scenario
                      FILE (the store and gateway state it started from, each
                      action at its virtual time, and expectations of what
                      came out: gateway message kinds, results, receipt
                      lines, journal lines, the variables written). Playing
                      FILE as a scenario does the session again and passes
      --store FILE    keep the host variables in FILE and the simulated
                      gateway's tokens, sessions, orders and refunds in
                      FILE.gateway: read at start, written on every change, so
                      that a pending reversal, the logon token and the refund
                      of an earlier order work after a restart of klarna-sim.
                      A malformed file is reported as FILE:LINE and exits 2
      --read-only     with --store: read both files but never write them, to
                      run against a shop's store without changing it
      --journal FILE  append the journal lines to FILE
      --receipts FILE append every printed receipt to FILE
      --no-qr         draw QR codes as their text, not as blocks
      --filter TEXT   run only the scenarios (or matrix cases) whose title or
                      file name holds TEXT, in any case
      --junit FILE    write a JUnit XML report for CI: a testcase per scenario
                      or matrix case with its time, a failure per failed
                      expectation (expected and got), an error for a file
                      that could not be read or parsed
      --json FILE     the same as JSON, with each run's TransactionEvents,
                      receipts and journal lines
      --check         only read the SCENARIO files and report their errors,
                      among them names no field, request, gateway kind or
                      host variable has ("Sucess"), with the nearest one
      --fault-matrix  run the generated scenarios (after the SCENARIO files
                      given, if any, into the same report): every gateway
                      exchange of a QR and an SMS purchase, a refund, a logon
                      and a reversal under every fault the gateway can show
                      (host failure, no reply, late reply after the sale and
                      after the host's time-out, duplicate, wrong stan, type
                      or MTYPE, unreadable JSON, no rc, pinpad offline); a
                      module restart after each request of a QR purchase; and
                      a simulator restart that keeps only its store file
                      (FILE.N.store beside --store FILE, or in the current
                      directory). Each ends with a clean sale that must be
                      approved; the invariants (one result per sale, a
                      reversal for every unanswered money message) are
                      checked after every run, as for files
      --host-fault-matrix[=PARTS]
                      run the generated scenarios of a host that misbehaves
                      (after the SCENARIO files given, as --fault-matrix)
                      (PARTS: events, doors, requests, by commas; all three when
                      none is named). events: the answer to every request the
                      module waits on (DllStartTransaction, the payment menu,
                      each prompt and waiting screen, the receipt and reprint
                      prints, the key waits (the retry also after an X0), the
                      gateway replies O, P, R, P-) lost, failed, delivered
                      twice or after the next sale began, and each answer
                      event sent when nothing waits.
                      doors: the host's own doors (reprint, last receipt, last
                      transaction, settings refresh, pinpad offline and online,
                      timer, a second POS sale, the payment menu, the purchase
                      button; the reprint also with a slow printer) opened
                      between every two messages of a QR purchase, an SMS
                      purchase and a refund. requests: each host request of a
                      sale that pays back a pending reversal first refused
                      (every SetVariable and GetVariable, the
                      first of every other method, the QR screen, the purchase
                      message; the reversal record of N and of P with that
                      message's reply lost), the purchase message answered
                      -181 for ever, every read answered 1 without a reply,
                      and each request of a settings refresh before the sale
                      failed in the same ways. Each case ends with a clean sale
                      that must be approved, and is checked as the cases of
                      --fault-matrix are (the ledger, the invariants, one
                      result per sale true to the gateway, no reversal left),
                      a failed answer's result against the code its wait
                      point gives, and the reversal owed at the start of the
                      request cases against the gateway. The door and
                      request cases follow clean runs of the module, made
                      first
      --list          with either matrix: only name the generated scenarios
                      (with --verbose: write each whole, to save and run alone)
      --help-scenario the scenario language, with examples
      --version       print the release version ("klarna-sim VERSION") and exit
  -h, --help          this text

Each scenario ends with PASS, FAIL or ERROR and the time it took; a failed
expectation shows what was expected, what came instead, the nearest things
the run did show, the virtual time and the transcript lines around it. An
"on" rule that never fired and a scenario without expectations are warned
of. The last line counts them all: "2 passed, 1 failed, 1 error".

exit status: 0 all scenarios passed, 1 an expectation failed or the module
broke the host protocol, 2 a bad command line, a scenario file that cannot be
read or parsed, or an output file (--store, --journal, --receipts, --junit,
--json) that cannot be written, 3 the module could not be loaded.

examples:
  klarna-sim -m build/linux32/klarna.so
  klarna-sim -m build/linux32/klarna.so tests/scenarios/startup_registration.scenario
  klarna-sim -m build/linux32/klarna.so --interactive --store /tmp/host.vars
  klarna-sim -m build/linux32/klarna.so --quiet --fault-matrix
  klarna-sim --in-process --quiet --host-fault-matrix=events,requests
  klarna-sim --in-process --host-fault-matrix --filter "receipt-print answer late"
  klarna-sim -m build/linux32/klarna.so -q --junit report.xml tests/scenarios/*.scenario
  klarna-sim --in-process --seed 7 FILE > run1.txt; klarna-sim --in-process --seed 7 FILE > run2.txt
)";
}

const char* scenarioLanguageText() {
    return R"(Scenario files: one directive per line; # starts a comment; "quoted text"
keeps blanks and knows \" \\ \n \r \t \xHH. Errors are reported as FILE:LINE.
Field, request, gateway kind, POS field and host variable names are checked
when the file is read: a misspelt one is an error with a "did you mean".
TIME and DURATION: 0, 2s, 1.5s, 500ms, 2m.

Set-up (before anything runs):
  scenario "NAME"                   a title for the report
  var NAME "value"                  a host variable (also var NAME=value)
  lane NAME "value"                 a lane information variable (GetLaneInfoVariable)
  pinpad QR_code=1 TID=.. MID=.. Acquirer=..   the GetPinpadDetails answer
  host master-gui NAME              the host's main interface module
  host reply-capacity BYTES         reply buffer offered with each message (4096)
  host unknown-variables default|absent   unknown variables: Var_result = Default,
                                    or no Var_result at all (the default)
  host timeout-result CODE "TEXT"   what a gateway time-out reports (X0 "NO RESPONSE")
  host print-delay DURATION | host print-result CODE | host start-delay DURATION
  host reply-too-small METHOD [OPTIONS] [forever]   answer -181 (METHOD may be *); forever:
                                    the same request asked again is answered -181 too
  host result METHOD CODE [OPTIONS]       carry the request out, answer with that result
  host refuse METHOD CODE [OPTIONS]       do not carry it out: that result, no reply, no event
  host big-reply METHOD BYTES [OPTIONS]   pad the reply by BYTES bytes
        OPTIONS: [match=TEXT] [from=N] [times=N|always]; match=TEXT: only requests whose
        one-line text (as the transcript shows it) holds TEXT; from=N: from the Nth such
        request of METHOD on (each -181 answer is a request); times: how many (1)
  host event EVENT MODE [match=TEXT] [from=N] [times=N|always]
        the event that answers a request, misbehaving: EVENT is DllStartTransactionEvent,
        GetButtonMenuFromPinpadEvent, GetMultiLineFromPinpadEvent, PrintReceiptEvent,
        WaitForKeyPressEvent or HostReceiveEvent (match=KIND: the gateway message kind);
        MODE: lose (never delivered, not even as the host's time-out) | fail CODE (the
        host answers at once with Result CODE) | twice (a copy 1s later) | late (held
        until the next transaction begins, then delivered 200ms after it)
  gateway latency DURATION          reply latency (300ms)
  gateway credentials USER PASS     the only logon accepted (default: any)
  gateway token TOKEN               the token the logon issues; also accepted
  gateway accept-token TOKEN        a token the gateway already knows
  gateway order ORDERID AMOUNT [CURRENCY]   an earlier, paid order (for refunds)
  gateway counter N                 the number the gateway's last id took (the next
                                    token, session, order or refund id follows it)
  gateway wait-expiry CODE "TEXT"   a status wait that runs out (TI)
  gateway give-up CODE "TEXT"       the customer gives up (TM)
  fault KIND MODE [ARGS] [from=N] [times=N|always]
        KIND: A+ O D N Q P R, REV (reversals) or *
        MODE: host-failure CODE ["TEXT"] | no-reply | late DURATION [keep] |
              wrong-stan | wrong-type | wrong-mtype | bad-json | drop FIELD |
              set FIELD=VALUE | decline CODE ["TEXT"] |
              duplicate [DURATION] (the reply comes twice, the copy 1s later)
  run-limit DURATION                stop a run that goes on longer (24h)

What happens:
  at TIME ACTION                    an action at a virtual time, once everything else
                                    due at that time has happened
  on TRIGGER [MATCH] [after DURATION] ACTION     the first time TRIGGER happens
  each TRIGGER [MATCH] [after DURATION] ACTION   every time
        TRIGGER: screen ["TEXT"] | prompt ["TEXT"] | qr | menu ["TEXT"] |
                 keywait | print | gateway KIND | request METHOD
        For each occurrence the first unused "on" rule that matches fires,
        and every matching "each" rule.
  Actions:
    startup [size=N] [version=TEXT|null] [name=TEXT|null] [callback=null]
    shutdown | restart (unload, load again and start; the store survives)
    pos FIELD=VALUE...              DoTransaction through PosDirectEntryPoint
    entry NAME FIELD=VALUE...       EntryPointEvent of an added entry point
    function N                      CsdReserved3 with FUNCTION=N
    command NAME FIELD=VALUE...     an intercepted host command
    refresh-settings | pinpad-online 0|1 | timer
    event NAME FIELD=VALUE... | method NAME FIELD=VALUE... | raw "TEXT"
                                    any message, registered or not
    input "TEXT" | confirm | select OPTION | cancel [pinpad|pos] | timeout |
    key pinpad|pos KEY | result CODE [FIELD=VALUE...]    answer what waits
    customer pays | customer opens | customer gives-up
    set-var NAME "value" | clear-var NAME | wait
    fault KIND MODE [ARGS] [from=N] [times=N|always]   a gateway fault from now on
    fault clear                     no gateway faults from now on
    stop                            the run ends here (what is still due never happens)
    try ACTION                      a door that is not registered is only noted
  Without an explicit startup the module is started at time 0. The run ends
  when nothing but the periodic timer is left; then Shutdown is called. An
  "on" rule that never fired is warned of, with the nearest screens (gateway
  kinds, requests) the run did show.

What must come out (checked at the end; NAME#N picks the N-th, #last the last):
  CHECK: FIELD=value | FIELD~text (contains) | !FIELD (absent) | FIELD? (present)
         FIELD may be a path a/b/c; @FIELD looks at the envelope or host request
  expect startup[#N] result=0 version=1.0.0.0 byte43=kept
  expect startup-requests NAME...   exactly these requests during the last Startup
  expect request-order NAME...      these requests in this order, others between
  expect request NAME[#N] CHECK...  | expect request NAME count=N
  expect delivered NAME[#N] returned=N reply~TEXT
  expect result[#N] CHECK...        the TransactionEvent (DllEndTransaction)
  expect pos-event NAME[#N] CHECK...  an event the module sent to the POS
  expect gateway-kinds KIND...      exactly this sequence of gateway messages
  expect gateway KIND[#N] CHECK...  JSON members; @Timeout=70 the host request
  expect receipt[#N] line="PURCHASE:" text~"APPROVED" printer=POS type=C
  expect journal[#N] text~"F00M"    | expect journal count=N
  expect var NAME=value !NAME NAME~text
  expect trace "TEXT"...  | expect screen "TEXT"... | expect pos-screen "TEXT"...
  A failed expectation is reported with what was expected, what came, the
  nearest candidates (the receipt's lines, the screens shown, the requests or
  results of that name), the virtual time and the transcript lines around it.
  A file without expect lines passes with a warning.

Example:
  scenario "pinpad notification"
  at 1s pinpad-online 1
  expect delivered PinpadNotify returned=1
)";
}

const char* demoScenarioText() {
    return R"(scenario "demonstration: a Klarna QR purchase from the POS, with the terminal's first logon"
var MERCHANT_ID "M123"
var STORE_ID "S1"
var LANE_ID "7"
var USERNAME "shop-user"
var PASSWORD "shop-password"
pinpad QR_code=1 TID=PP000001 MID=M123 Acquirer=KLARNA
at 1s pinpad-online 1
at 2s pos TxnType=P AmtPurchase=2500 CurrencyCode=AUD TxnRef=DEMO0001 OriginalSource=POS ReceiptAutoPrint=1
on qr after 8s customer pays
on keywait after 2s key pos 1
expect startup result=0 version=1.0.0.0
expect gateway-kinds A+ O N P
expect result ResponseCode=00 Success=1 AmtPurchase=000002500 TxnRef=DEMO0001
expect receipt text~"APPROVED"
expect journal text~"F00M"
expect var ACTIVATION_STATUS=OK REVERSAL_DATA= TOKEN?
)";
}

} // namespace sim
