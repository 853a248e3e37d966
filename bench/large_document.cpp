// A large host-style document built programmatically: a list of stored
// transaction records, each with a dozen fields and an escaped receipt text.
#include <string>

#include "bench/bench_inputs.h"

namespace benchInputs {

namespace {

void appendRecord(std::string& out, std::size_t index) {
    const std::string number = std::to_string(index);
    out += "  <TransactionEvent>\n";
    out += "   <ResponseType>210</ResponseType>\n   <TxnType>P</TxnType>\n";
    out += "   <Stan>" + number + "</Stan>\n   <Merchant>70</Merchant>\n";
    out += "   <ResponseCode>00</ResponseCode>\n";
    out += "   <ResponseText>TRANSACTION&#32;APPROVED</ResponseText>\n";
    out += "   <Success>1</Success>\n   <Caid/>\n   <AmtPurchase>000001250</AmtPurchase>\n";
    out += "   <CurrencyCode>AUD</CurrencyCode>\n   <TxnRef>POS" + number + "</TxnRef>\n";
    out += "   <PurchaseAnalysisData>RFN039{\"merchant\":\"70\",\"orderid\":\"ORD" + number +
           "\"}</PurchaseAnalysisData>\n";
    out += "   <Receipt>Term&#32;ID:&#32;TERM0001&#13;&#10;Amount:&#32;$12.50&#13;&#10;"
           "TRANSACTION&#32;APPROVED&#32;00&#13;&#10;&lt;end&gt;</Receipt>\n";
    out += "  </TransactionEvent>\n";
}

} // namespace

std::string largeDocument(std::size_t bytes) {
    std::string out = "<?xml version=\"1.0\" ?>\n<VORTAXIS_BRIDGE>\n <Records>\n";
    for (std::size_t index = 0; out.size() < bytes; ++index) {
        appendRecord(out, index);
    }
    out += " </Records>\n</VORTAXIS_BRIDGE>\n";
    return out;
}

} // namespace benchInputs
